-- The news display's profile: folders, feeds (one untitled, one hidden from the client)
-- and their items.
insert into folder (id, title) values(2, 'Tech');
insert into folder (id, title) values(3, 'Empty');
insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) values(1, 'http://a/', 'Alpha &amp; Co', 1, -1, 2, 1);
insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) values(2, 'http://b/', NULL, 0, -2, 1, 1);
insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) values(3, 'http://hidden/', 'Hidden', 1, -3, 1, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(1, 1, 'a1', 0, 0, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(1, 2, 'a2', 0, 0, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(1, 3, 'a3', 1, 0, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(1, 4, 'a4', 0, 1, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(2, 1, 'b1', 1, 0, 0);
insert into items (channelid, itemid, title, isread, toclear, mark) values(3, 1, 'h1', 0, 0, 0);
