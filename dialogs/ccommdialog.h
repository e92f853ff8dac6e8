#pragma once

#include <QDialog>
#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <QStringList>

#include "linksettings.h"

namespace Ui {
class CCommDialog;
}

// The modal dialog that edits the main window's link record: serial port, UDP on/off, server or client
// mode, the server's interface and port, the client's host and port. The record is written only by an
// accepted OK.
class CCommDialog : public QDialog
{
    Q_OBJECT

public:
    CCommDialog(QWidget *parent, LinkSettings *comm);
    ~CCommDialog() override;

    // The serial list's entry for a port; rebuilt on OK to find the chosen port again.
    static QString serialPortText(const QSerialPortInfo &port);
    // The server's interface list: the texts of the host lookup's addresses, then the machine's IPv4
    // interface addresses that the lookup did not give; texts longer than a dotted IPv4 address are left out.
    static QStringList interfaceAddresses(const QList<QHostAddress> &lookup,
                                          const QList<QHostAddress> &interfaces);

    // Starts the lookup of the own host name and returns its id; the answer goes to the member slot of
    // the receiver. QHostInfo::lookupHost, unless a test puts in a resolver of its own.
    using HostLookup = int (*)(const QString &name, QObject *receiver, const char *member);
    static HostLookup hostLookup;

private slots:
    void saveSettings();
    void on_radioButton_server_toggled(bool checked);
    void on_checkBox_useudp_toggled(bool checked);
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();
    void addLookedUpAddresses(const QHostInfo &localHost);

private:
    void stopLookup();

    Ui::CCommDialog *ui;
    QList<QSerialPortInfo> serialPorts;
    LinkSettings *comm;
    // The running lookup of the own name, -1 once it answered or the dialog closed.
    int lookupId = -1;
    // Set when the user picks an interface: a late lookup answer then leaves the choice alone.
    bool interfaceChosen = false;
};
