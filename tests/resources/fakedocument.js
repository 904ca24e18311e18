// A document model with just what the page script may use. Items carry
// whitespace text nodes between their elements, as parsed pages do, so a
// script that walks child nodes instead of element children fails here.
// W holds the four toggle words of the language under test.
function Text() { this.parentNode = null; }
function Element(tag, attributes) {
    this.tagName = tag.toUpperCase();
    this.attributes = attributes || {};
    this.className = this.attributes["class"] || "";
    this.childNodes = [];
    this.parentNode = null;
}
Element.prototype.add = function () {
    for (var i = 0; i < arguments.length; ++i) {
        this.childNodes.push(new Text());
        arguments[i].parentNode = this;
        this.childNodes.push(arguments[i]);
    }
    this.childNodes.push(new Text());
    return this;
};
Element.prototype.getAttribute = function (name) {
    return name in this.attributes ? this.attributes[name] : null;
};
Element.prototype.setAttribute = function (name, value) { this.attributes[name] = String(value); };
Element.prototype.removeChild = function (child) {
    var at = this.childNodes.indexOf(child);
    if (at < 0) throw new Error("not a child");
    this.childNodes.splice(at, 1);
    child.parentNode = null;
    return child;
};
Element.prototype.getElementsByTagName = function (tag) {
    var found = [];
    (function walk(node) {
        node.childNodes.forEach(function (c) {
            if (c instanceof Element) {
                if (c.tagName == tag.toUpperCase()) found.push(c);
                walk(c);
            }
        });
    })(this);
    return found;
};
Object.defineProperty(Element.prototype, "children", { get: function () {
    return this.childNodes.filter(function (c) { return c instanceof Element; });
}});
function sibling(node, step) {
    var list = node.parentNode ? node.parentNode.childNodes : [];
    for (var i = list.indexOf(node) + step; i >= 0 && i < list.length; i += step)
        if (list[i] instanceof Element) return list[i];
    return null;
}
Object.defineProperty(Element.prototype, "previousElementSibling",
                      { get: function () { return sibling(this, -1); } });
Object.defineProperty(Element.prototype, "nextElementSibling",
                      { get: function () { return sibling(this, 1); } });

var content = new Element("div", { id: "content" });
var document = {
    // The script's click handler; the real browser runs it (tst_webbrowser).
    addEventListener: function (type, handler) { this.onclick = handler; },
    getElementById: function (id) {
        var all = content.getElementsByTagName("div");
        for (var i = 0; i < all.length; ++i)
            if (all[i].getAttribute("id") == id) return all[i];
        return null;
    }
};
function link(image) { return new Element("a", { href: "#" }).add(image); }
// An item block as the pages write it.
function item(key, isRead, isMarked) {
    var title = isMarked ? "itemtitle_flagged" : isRead ? "itemtitle_vstd" : "itemtitle";
    return new Element("div", { "class": "feeditem", id: key }).add(
        new Element("div", { "class": title }).add(new Element("a", { href: "http://x/" })),
        new Element("div", { "class": isRead ? "itemdate_vstd" : "itemdate" }).add(
            link(new Element("img", isRead ? { src: "./read-12.gif", alt: W.TU }
                                           : { src: "./unread-12.gif", alt: W.TR })),
            link(new Element("img", { src: "./delete-12.gif", alt: "Delete" })),
            link(new Element("img", isMarked ? { src: "./flag-on-12.gif", alt: W.UM }
                                             : { src: "./flag-off-12.gif", alt: W.M })),
            link(new Element("img", { src: "./arrow-right-12.gif", alt: "Open" }))),
        new Element("div", { "class": isRead ? "itemdescription_vstd" : "itemdescription" }));
}
function separator(id) { return new Element("div", { "class": "line", id: id }); }
// An item's classes and images, by key or of an element not on the page.
function state(e) {
    if (typeof e == "string") e = document.getElementById(e);
    var images = e.children[1].getElementsByTagName("img");
    return [e.children[0].className, e.children[1].className, e.children[2].className,
            images[0].getAttribute("alt"), images[0].getAttribute("src"),
            images[2].getAttribute("alt"), images[2].getAttribute("src")].join("|");
}
function ids() {
    return content.children.map(function (c) { return c.getAttribute("id"); }).join(" ");
}
