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
