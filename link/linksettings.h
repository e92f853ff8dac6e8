#pragma once

#include <QString>

// How levels reach this instance: serial alone, serial relayed as UDP server, or UDP client.
struct LinkSettings
{
    bool is_server = false;
    bool use_udp = false;
    QString serialport;
    QString server_host;
    QString server_port; // decimal text
    QString client_host;
    QString client_port; // decimal text
    // Beside the broadcast: the IPv4 group the server sends to and the client joins (empty: broadcast),
    // and its time to live (1 keeps it in the own subnet; each router on the way takes one). Both have
    // initialisers, so a record that lists only the seven fields above is complete.
    QString multicast_group{};
    int multicast_ttl = 1;
};

// Port text as the link uses it: unsigned decimal, anything else 0.
inline uint portValue(const QString &text)
{
    return text.toUInt();
}
// The value cut to the 16 bits of a UDP port.
inline quint16 portNumber(const QString &text)
{
    return quint16(portValue(text) & 0xFFFF);
}
