#pragma once

#include <QDialog>
#include <QHostAddress>
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

private slots:
    void saveSettings();
    void on_radioButton_server_toggled(bool checked);
    void on_checkBox_useudp_toggled(bool checked);
    void on_pushButton_ok_clicked();
    void on_pushButton_cancel_clicked();

private:
    Ui::CCommDialog *ui;
    QList<QSerialPortInfo> serialPorts;
    LinkSettings *comm;
};
