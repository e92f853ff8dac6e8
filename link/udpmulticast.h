#pragma once

#include "linksettings.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QVariant>

class QUdpSocket;

// Multicast beside the broadcast of the UDP relay. A broadcast never leaves its subnet; a group can be
// routed into the other VLANs of a studio network. With a group set, the server sends each frame once
// to it out of the interface that holds its own address; a client joins it where the server is reached.
// Without a group everything stays broadcast.
class UdpMulticast
{
public:
    static constexpr int DefaultTtl = 1; // the own subnet only, as a broadcast
    static constexpr int MaxTtl = 255;

    // An interface as far as the choice below needs it.
    struct Interface
    {
        int index = 0;
        bool canMulticast = false; // up and able to
        QList<QNetworkAddressEntry> entries;
    };
    static QList<Interface> machineInterfaces();

    // The IPv4 multicast group (224.0.0.0/4) the text names, else a null address.
    static QHostAddress group(const QString &text);
    // The stored group as the link keeps it: an address that is no IPv4 group means none.
    static QString groupFrom(const QVariant &stored);
    // A whole number of hops from 1 to 255; anything else gives the default.
    static int ttlFrom(const QVariant &stored);
    // The index of the interface that has the address as its own, or -1.
    static int holding(const QHostAddress &address, const QList<Interface> &interfaces);
    // The interfaces to join on to hear the address: the one whose subnet holds it, or, where that
    // cannot be told (a server behind a router), every one that can multicast over IPv4.
    static QList<int> reaching(const QHostAddress &address, const QList<Interface> &interfaces);

    UdpMulticast() = default;
    explicit UdpMulticast(const LinkSettings &settings);

    bool isOn() const { return !groupAddress.isNull(); }
    // Where the server sends each frame: the group, or the broadcast address.
    const QHostAddress &destination() const { return sendTo; }
    // A server's bound socket: out of the interface holding the server's address, with the TTL, and
    // not back to this machine.
    void prepareSender(QUdpSocket &socket) const;
    // A client's bound socket joins the group; the reason in words where it cannot, else empty. The
    // group is left when the socket closes: at the next link set-up or when the program ends.
    QString join(QUdpSocket &socket) const;

private:
    QHostAddress groupAddress;
    QHostAddress sendTo{QHostAddress::Broadcast};
    QHostAddress serverHost;
    QHostAddress clientHost;
    int ttl = DefaultTtl;
};
