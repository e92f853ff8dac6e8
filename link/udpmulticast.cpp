#include "udpmulticast.h"

#include <QDebug>
#include <QNetworkInterface>
#include <QUdpSocket>

QList<UdpMulticast::Interface> UdpMulticast::machineInterfaces()
{
    QList<Interface> interfaces;
    for (const QNetworkInterface &machine : QNetworkInterface::allInterfaces()) {
        const QNetworkInterface::InterfaceFlags flags = machine.flags();
        interfaces.append(
            {machine.index(),
             flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::CanMulticast),
             machine.addressEntries()});
    }
    return interfaces;
}

QHostAddress UdpMulticast::group(const QString &text)
{
    const QHostAddress address(text);
    return address.protocol() == QAbstractSocket::IPv4Protocol && address.isMulticast() ? address
                                                                                        : QHostAddress();
}

QString UdpMulticast::groupFrom(const QVariant &stored)
{
    const QHostAddress address = group(stored.toString());
    return address.isNull() ? QString() : address.toString();
}

int UdpMulticast::ttlFrom(const QVariant &stored)
{
    bool isNumber = false;
    const int hops = stored.toString().trimmed().toInt(&isNumber);
    return isNumber && hops >= 1 && hops <= MaxTtl ? hops : DefaultTtl;
}

int UdpMulticast::holding(const QHostAddress &address, const QList<Interface> &interfaces)
{
    for (const Interface &candidate : interfaces) {
        for (const QNetworkAddressEntry &entry : candidate.entries) {
            if (entry.ip() == address)
                return candidate.index;
        }
    }
    return -1;
}

QList<int> UdpMulticast::reaching(const QHostAddress &address, const QList<Interface> &interfaces)
{
    QList<int> all;
    for (const Interface &candidate : interfaces) {
        if (!candidate.canMulticast)
            continue;
        bool hasIPv4 = false;
        for (const QNetworkAddressEntry &entry : candidate.entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if (address.isInSubnet(entry.ip(), entry.prefixLength()))
                return {candidate.index};
            hasIPv4 = true;
        }
        if (hasIPv4)
            all.append(candidate.index);
    }
    return all;
}

UdpMulticast::UdpMulticast(const LinkSettings &settings)
    : groupAddress(group(settings.multicast_group)), serverHost(settings.server_host),
      clientHost(settings.client_host), ttl(qBound(1, settings.multicast_ttl, MaxTtl))
{
    if (isOn())
        sendTo = groupAddress;
}

void UdpMulticast::prepareSender(QUdpSocket &socket) const
{
    // An unbound socket has nothing to set (and Qt warns about it); the sends then fail as before.
    if (!isOn() || socket.state() != QAbstractSocket::BoundState)
        return;
    const int index = holding(serverHost, machineInterfaces());
    if (index >= 0)
        socket.setMulticastInterface(QNetworkInterface::interfaceFromIndex(index));
    else
        qDebug().noquote() << "multicast: no interface holds" << serverHost.toString()
                           << "- the system chooses where the group is sent";
    socket.setSocketOption(QAbstractSocket::MulticastTtlOption, ttl);
    // Not back into this machine: the display that sends the frames shows them already.
    socket.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 0);
}

QString UdpMulticast::join(QUdpSocket &socket) const
{
    if (!isOn())
        return QString();
    QString error = QStringLiteral("no network interface can receive multicast");
    bool joined = false;
    for (const int index : reaching(clientHost, machineInterfaces())) {
        if (socket.joinMulticastGroup(groupAddress, QNetworkInterface::interfaceFromIndex(index)))
            joined = true;
        else
            error = socket.errorString();
    }
    if (joined)
        return QString();
    const QString reason =
        QStringLiteral("cannot join multicast group %1: %2").arg(groupAddress.toString(), error);
    qDebug().noquote() << "multicast:" << reason;
    return reason;
}
