// Network (Wi-Fi) adapters offered on the connection page: the addresses that connected
// before, kept in the settings under "Network/".

#include "runner/CFGRunner.h"

#include "link/TcpTransport.h"

#include <QSettings>

namespace {

const QString AddressesKey = QStringLiteral("Network/Addresses");
// Most Wi-Fi adapters serve their chip there, as their own access point.
const QString DefaultAddress = QStringLiteral("192.168.0.10:35000");
constexpr int RememberedAddresses = 8;

} // namespace

QStringList CFGRunner::networkPorts()
{
    QStringList addresses = QSettings().value(AddressesKey).toStringList();
    addresses.removeAll(QString());
    if (addresses.isEmpty())
        addresses << DefaultAddress;
    return addresses;
}

bool CFGRunner::isNetworkPort(QString port)
{
    return TcpTransport::isNetworkPort(TcpTransport::portForAddress(port));
}

void CFGRunner::rememberNetworkPort(const QString &port)
{
    QString host;
    quint16 tcpPort = 0;
    if (!TcpTransport::parse(port, &host, &tcpPort))
        return;
    // As the user types it: "192.168.0.10:35000", "[fe80::1]:35000".
    const QString address = port.trimmed().section(QStringLiteral("://"), 1);
    QSettings settings;
    QStringList addresses = settings.value(AddressesKey).toStringList();
    addresses.removeAll(address);
    addresses.prepend(address);
    while (addresses.size() > RememberedAddresses)
        addresses.removeLast();
    settings.setValue(AddressesKey, addresses);
}
