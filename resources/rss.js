// Script of the news pages. The command links of an item call these functions
// with the item's key (channel id ":" item id, the id of the item's division);
// they restyle or remove the item at once, while the viewer changes the stored
// item itself.
//
// An item's division holds, as element children, the title, the date line and
// the description; the date line holds four images: the read toggle, delete,
// the flag toggle and the open link. The toggles' alternative texts tell the
// item's state.
//
// The viewer writes this file with the four quoted words below replaced by
// their translations, which must equal the texts the pages carry. So each word
// appears here once, and nowhere else, not even in a comment. The byte order
// mark at the top makes the browser read the file as UTF-8 whatever the
// encoding of the page that loads it.

var readTextWhenUnread = "Toggle Read";
var readTextWhenRead = "Toggle Unread";
var flagTextWhenOff = "Mark";
var flagTextWhenOn = "Unmark";

function itemParts(key) {
    var item = document.getElementById(key);
    if (!item || item.children.length < 3)
        return null;
    var images = item.children[1].getElementsByTagName("img");
    if (images.length < 3)
        return null;
    return {
        title: item.children[0],
        date: item.children[1],
        description: item.children[2],
        readToggle: images[0],
        flagToggle: images[2]
    };
}

function setToggle(image, text, source) {
    image.setAttribute("alt", text);
    image.setAttribute("src", source);
}

// Nothing is returned: a "javascript:" link whose result is a string would
// replace the page with that string.
function read(obj) {
    var item = itemParts(obj);
    if (!item)
        return;
    var flagged = item.title.className == "itemtitle_flagged";
    if (item.readToggle.getAttribute("alt") == readTextWhenUnread) {
        if (!flagged)
            item.title.className = "itemtitle_vstd";
        item.date.className = "itemdate_vstd";
        item.description.className = "itemdescription_vstd";
        setToggle(item.readToggle, readTextWhenRead, "./read-12.gif");
    } else {
        if (!flagged)
            item.title.className = "itemtitle";
        item.date.className = "itemdate";
        item.description.className = "itemdescription";
        setToggle(item.readToggle, readTextWhenUnread, "./unread-12.gif");
    }
}

function mark(obj) {
    var item = itemParts(obj);
    if (!item)
        return;
    if (item.flagToggle.getAttribute("alt") == flagTextWhenOff) {
        item.title.className = "itemtitle_flagged";
        setToggle(item.flagToggle, flagTextWhenOn, "./flag-on-12.gif");
    } else {
        var unread = item.readToggle.getAttribute("alt") == readTextWhenUnread;
        item.title.className = unread ? "itemtitle" : "itemtitle_vstd";
        setToggle(item.flagToggle, flagTextWhenOff, "./flag-off-12.gif");
    }
}

// Removes the item with its separator: the element before it, or the one after
// it for the first item of a page.
function toDelete(obj) {
    var item = document.getElementById(obj);
    if (!item)
        return;
    var separator = item.previousElementSibling || item.nextElementSibling;
    var parent = item.parentNode;
    parent.removeChild(item);
    if (separator)
        parent.removeChild(separator);
}

// A click on a command link runs its command here and reports the link to the
// viewer, which changes the stored item: the report names the link that was
// clicked, whatever the pointer passed over before. The link's own target
// never runs; the pages' security policy forbids it.
document.addEventListener("click", function (event) {
    var link = event.target;
    while (link && link.tagName != "A")
        link = link.parentElement;
    if (!link || event.button != 0)
        return;
    var target = link.getAttribute("href") || "";
    var command = /^javascript:(read|toDelete|mark|external)\('([0-9]+:[0-9]+)'\)$/.exec(target);
    if (!command)
        return;
    event.preventDefault();
    if (command[1] == "read")
        read(command[2]);
    else if (command[1] == "toDelete")
        toDelete(command[2]);
    else if (command[1] == "mark")
        mark(command[2]);
    // "external": the viewer opens the item's link in the desktop's browser and
    // marks it read; the page is written anew then.
    console.info("pellix-command " + target);
}, true);
