#include "clientnotices.h"

#include "core/rssprotocol.h"
#include "host/psimplemessage.h"

void ClientNotices::itemStateChanged(int command, int channelId, int itemId)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::ItemStateNotice, false);
    message.AddFieldAsUint8(ProtocolField::Plain, quint8(command));
    message.AddFieldAsUint32(ProtocolField::Plain, quint32(channelId));
    message.AddFieldAsUint32(ProtocolField::Plain, quint32(itemId));
    message.Send();
}

void ClientNotices::feedItemsChanged(const QList<int> &ids)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedItemsChanged, false);
    message.AddFieldAsUint16(ProtocolField::Plain, quint16(ids.size()));
    for (int id : ids)
        message.AddFieldAsInt32(ProtocolField::Plain, id);
    message.Send();
}

void ClientNotices::feedHidden(int id)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedHiddenInClient, false);
    message.AddFieldAsUint32(ProtocolField::Plain, quint32(id));
    message.Send();
}

void ClientNotices::feedShown(int id)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedShownInClient, false);
    message.AddFieldAsUint32(ProtocolField::Plain, quint32(id));
    message.Send();
}

void ClientNotices::optionsChanged()
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::OptionsChanged, false);
    message.Send();
}
