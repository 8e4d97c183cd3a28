#include "link/LinkTransport.h"

#include "link/SerialTransport.h"
#include "link/TcpTransport.h"

#include <QStringList>

LinkTransport *LinkTransport::create(const QString &port, QObject *parent)
{
    if (kindOf(port) == Network)
        return new TcpTransport(parent);
    return new SerialTransport(parent);
}

LinkTransport::Kind LinkTransport::kindOf(const QString &port)
{
    return TcpTransport::isNetworkPort(port) ? Network : Serial;
}

QString LinkTransport::kindName() const
{
    return kind() == Network ? QStringLiteral("network") : QStringLiteral("serial");
}

QString LinkTransport::describe() const
{
    QStringList parts;
    const QVariantMap s = settings();
    for (auto it = s.cbegin(); it != s.cend(); ++it)
        parts << QStringLiteral("%1=%2").arg(it.key(), it.value().toString());
    return QStringLiteral("%1 %2 %3").arg(kindName(), portName(), parts.join(QLatin1Char(' ')));
}

QString LinkTransport::settingsText() const
{
    QStringList parts;
    const QVariantMap s = settings();
    for (auto it = s.cbegin(); it != s.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key(), it.value().toString());
    return parts.join(QStringLiteral(", "));
}
