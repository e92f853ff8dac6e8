#include "ccommdialog.h"
#include "ui_ccommdialog.h"

#include "udpmulticast.h"

#include <QDebug>
#include <QHostInfo>
#include <QIntValidator>
#include <QMessageBox>
#include <QNetworkInterface>

namespace {
constexpr int LowestPort = 0;
constexpr int HighestPort = 65535;
// The length of the longest dotted IPv4 address ("255.255.255.255"); longer texts are IPv6.
constexpr int LongestListedAddress = 15;

bool fitsList(const QString &address)
{
    return address.size() <= LongestListedAddress;
}

// A port entry takes plain decimal digits up to the highest port only. Qt's integer validator alone would
// let 65536 to 99999 stand as unfinished input and accept group separators ("1,000"), texts that the link
// reads as a port cut to 16 bits or as 0.
class PortValidator : public QIntValidator
{
public:
    explicit PortValidator(QObject *parent) : QIntValidator(LowestPort, HighestPort, parent) {}

    State validate(QString &input, int &) const override
    {
        if (input.isEmpty())
            return Intermediate;
        for (const QChar c : qAsConst(input)) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        bool isNumber = false;
        const uint port = input.toUInt(&isNumber);
        return isNumber && port <= uint(top()) ? Acceptable : Invalid;
    }
};
} // namespace

CCommDialog::HostLookup CCommDialog::hostLookup = static_cast<HostLookup>(&QHostInfo::lookupHost);

CCommDialog::CCommDialog(QWidget *parent, LinkSettings *comm)
    : QDialog(parent), ui(new Ui::CCommDialog), comm(comm)
{
    // From here on the slots named after widgets are connected, so the loading below runs them.
    ui->setupUi(this);

    ui->lineEdit_server_port->setValidator(new PortValidator(this));
    ui->lineEdit_client_port->setValidator(new PortValidator(this));

    serialPorts = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : qAsConst(serialPorts))
        ui->comboBox_serial->addItem(serialPortText(port));

    // The interfaces' own addresses are there at once. The lookup of the own name may add an alias from
    // the hosts file, but a resolver that does not answer must not freeze the display: it runs aside and
    // its addresses join the list when they come.
    ui->comboBox_nic->addItems(interfaceAddresses({}, QNetworkInterface::allAddresses()));
    connect(ui->comboBox_nic, QOverload<int>::of(&QComboBox::activated), this,
            [this] { interfaceChosen = true; });
    connect(this, &QDialog::finished, this, &CCommDialog::stopLookup);
    lookupId = hostLookup(QHostInfo::localHostName(), this, SLOT(addLookedUpAddresses(QHostInfo)));

    if (comm) {
        ui->lineEdit_server_port->setText(comm->server_port);
        ui->lineEdit_client_host->setText(comm->client_host);
        ui->lineEdit_client_port->setText(comm->client_port);
        ui->lineEdit_multicast_group->setText(comm->multicast_group);
        if (comm->is_server)
            ui->radioButton_server->setChecked(true);
        else
            ui->radioButton_client->setChecked(true);
        const int hostIndex = ui->comboBox_nic->findText(comm->server_host);
        if (hostIndex >= 0)
            ui->comboBox_nic->setCurrentIndex(hostIndex);
        for (int index = 0; index < serialPorts.size(); ++index) {
            if (serialPorts.at(index).portName() == comm->serialport)
                ui->comboBox_serial->setCurrentIndex(index);
        }
        ui->checkBox_useudp->setChecked(comm->use_udp);
    }

    // The loaded values may have fired no toggled() at all (UDP off, server mode: the form's own states).
    on_checkBox_useudp_toggled(ui->checkBox_useudp->isChecked());
}

CCommDialog::~CCommDialog()
{
    stopLookup();
    delete ui;
}

QString CCommDialog::serialPortText(const QSerialPortInfo &port)
{
    return tr("%1 (%2)").arg(port.description()).arg(port.portName());
}

QStringList CCommDialog::interfaceAddresses(const QList<QHostAddress> &lookup,
                                            const QList<QHostAddress> &interfaces)
{
    QStringList listed;
    for (const QHostAddress &address : lookup) {
        const QString text = address.toString();
        if (fitsList(text))
            listed.append(text);
    }
    for (const QHostAddress &address : interfaces) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const QString text = address.toString();
        if (fitsList(text) && !listed.contains(text))
            listed.append(text);
    }
    return listed;
}

void CCommDialog::addLookedUpAddresses(const QHostInfo &localHost)
{
    if (lookupId == -1 || localHost.lookupId() != lookupId)
        return;
    lookupId = -1;
    QComboBox *nic = ui->comboBox_nic;
    for (const QString &text : interfaceAddresses(localHost.addresses(), {})) {
        if (nic->findText(text) < 0)
            nic->addItem(text);
    }
    const int storedIndex = comm ? nic->findText(comm->server_host) : -1;
    if (storedIndex >= 0 && !interfaceChosen)
        nic->setCurrentIndex(storedIndex);
}

void CCommDialog::stopLookup()
{
    if (lookupId == -1)
        return;
    QHostInfo::abortHostLookup(lookupId);
    lookupId = -1;
}

void CCommDialog::saveSettings()
{
    if (!comm)
        return;
    qDebug() << "comm is not null ";
    comm->server_host = ui->comboBox_nic->currentText();
    comm->server_port = ui->lineEdit_server_port->text();
    comm->client_host = ui->lineEdit_client_host->text();
    comm->client_port = ui->lineEdit_client_port->text();
    comm->multicast_group = ui->lineEdit_multicast_group->text().trimmed();
    const QString chosenPort = ui->comboBox_serial->currentText();
    for (const QSerialPortInfo &port : qAsConst(serialPorts)) {
        if (serialPortText(port) == chosenPort)
            comm->serialport = port.portName();
    }
    comm->is_server = ui->radioButton_server->isChecked();
    comm->use_udp = ui->checkBox_useudp->isChecked();
}

void CCommDialog::on_radioButton_server_toggled(bool checked)
{
    ui->comboBox_nic->setEnabled(checked);
    ui->lineEdit_server_port->setEnabled(checked);
    ui->label_serverhost->setEnabled(checked);
    ui->label_serverport->setEnabled(checked);
    ui->lineEdit_client_host->setEnabled(!checked);
    ui->lineEdit_client_port->setEnabled(!checked);
    ui->label_clienthost->setEnabled(!checked);
    ui->label_clientport->setEnabled(!checked);
    // A client takes its levels from the server, not from a serial port.
    ui->comboBox_serial->setEnabled(checked);
}

void CCommDialog::on_checkBox_useudp_toggled(bool checked)
{
    // The group serves server and client alike.
    ui->label_multicast->setEnabled(checked);
    ui->lineEdit_multicast_group->setEnabled(checked);
    if (checked) {
        ui->radioButton_server->setEnabled(true);
        ui->radioButton_client->setEnabled(true);
        on_radioButton_server_toggled(ui->radioButton_server->isChecked());
        return;
    }
    ui->comboBox_nic->setEnabled(false);
    ui->lineEdit_server_port->setEnabled(false);
    ui->radioButton_server->setEnabled(false);
    ui->label_serverhost->setEnabled(false);
    ui->label_serverport->setEnabled(false);
    ui->lineEdit_client_host->setEnabled(false);
    ui->lineEdit_client_port->setEnabled(false);
    ui->radioButton_client->setEnabled(false);
    ui->label_clienthost->setEnabled(false);
    ui->label_clientport->setEnabled(false);
    ui->comboBox_serial->setEnabled(true);
}

void CCommDialog::on_pushButton_ok_clicked()
{
    qDebug() << "OK CLICK.. ";
    if (ui->checkBox_useudp->isChecked()) {
        // Only emptiness is checked here: the validators hold the range while typing.
        if (ui->radioButton_server->isChecked() && ui->lineEdit_server_port->text().isEmpty()) {
            QMessageBox::warning(this, "UDP Server error", "Please, specify valid port!", QMessageBox::Ok);
            return;
        }
        if (ui->radioButton_client->isChecked() &&
            (ui->lineEdit_client_host->text().isEmpty() || ui->lineEdit_client_port->text().isEmpty())) {
            QMessageBox::warning(this, "UDP Client error", "Please, specify valid host and/or port!",
                                 QMessageBox::Ok);
            return;
        }
        const QString group = ui->lineEdit_multicast_group->text().trimmed();
        if (!group.isEmpty() && UdpMulticast::group(group).isNull()) {
            QMessageBox::warning(this, "UDP Multicast error",
                                 "Please, specify a multicast group in 224.0.0.0/4 (224.0.0.0 to "
                                 "239.255.255.255), or leave it empty for broadcast!",
                                 QMessageBox::Ok);
            return;
        }
    }
    saveSettings();
    accept();
}

void CCommDialog::on_pushButton_cancel_clicked()
{
    reject();
}
