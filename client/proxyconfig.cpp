#include "proxyconfig.h"
#include "core/rssprotocol.h"

#include <QUrl>

ProxyConfig ProxyConfig::fromUrl(const QString &address, bool *ok)
{
    ProxyConfig config;
    if (ok)
        *ok = false;
    const QString text = address.trimmed();
    if (text.isEmpty())
        return config;
    const QUrl url(text.contains(QLatin1String("://")) ? text : QStringLiteral("http://") + text);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return config;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        config.m_kind = Http;
    else if (scheme.startsWith(QLatin1String("socks")))
        config.m_kind = Socks5;
    else
        return config;
    config.m_host = url.host();
    config.m_port = quint16(url.port(1080)); // the customary proxy port when none is given
    config.m_user = url.userName();
    config.m_password = url.password();
    if (ok)
        *ok = true;
    return config;
}

ProxyConfig ProxyConfig::fromEnvironment(const QProcessEnvironment &environment)
{
    for (const char *name :
        {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        const QString value = environment.value(QLatin1String(name));
        if (value.trimmed().isEmpty())
            continue;
        bool ok = false;
        const ProxyConfig config = fromUrl(value, &ok);
        if (ok)
            return config;
    }
    return ProxyConfig();
}

Protocol ProxyConfig::answer() const
{
    Protocol reply(ClientMessage::CoreModule, ClientMessage::ProxyRequest);
    reply.add(ProtocolField::Plain, ProtocolArg::UInt32, uint(m_kind));
    reply.add(ProtocolField::Plain, ProtocolArg::String, m_host, 1);
    reply.add(ProtocolField::Plain, ProtocolArg::UInt16, uint(m_port));
    reply.add(ProtocolField::Plain, ProtocolArg::String, m_user, 1);
    reply.add(ProtocolField::Plain, ProtocolArg::String, m_password, 1);
    return reply;
}
