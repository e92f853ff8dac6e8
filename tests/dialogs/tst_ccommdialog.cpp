#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include "ccommdialog.h"
#include "pty.h"
#include "ui_ccommdialog.h"

namespace {
const QStringList UdpWidgets = {"comboBox_nic",         "lineEdit_server_port", "radioButton_server",
                                "label_serverhost",     "label_serverport",     "lineEdit_client_host",
                                "lineEdit_client_port", "radioButton_client",   "label_clienthost",
                                "label_clientport"};
const QStringList AlwaysEnabled = {"checkBox_useudp", "groupBox", "groupBox_2", "pushButton_ok",
                                   "pushButton_cancel"};
// The widgets enabled in each mode, among the UDP widgets and the serial list, in the order of those.
const QStringList SerialEnabled = {"comboBox_serial"};
const QStringList ServerEnabled = {"comboBox_nic",     "lineEdit_server_port", "radioButton_server",
                                   "label_serverhost", "label_serverport",     "radioButton_client",
                                   "comboBox_serial"};
const QStringList ClientEnabled = {"radioButton_server", "lineEdit_client_host", "lineEdit_client_port",
                                   "radioButton_client", "label_clienthost",     "label_clientport"};
// An address of TEST-NET-3, never one of the machine's own.
const QString ForeignAddress = QStringLiteral("203.0.113.254");

QStringList *capturedDebug = nullptr;
QtMessageHandler previousHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && capturedDebug)
        capturedDebug->append(message);
    else if (previousHandler)
        previousHandler(type, context, message);
}

// Collects the debug lines written while it lives.
struct DebugCapture
{
    QStringList lines;
    DebugCapture()
    {
        capturedDebug = &lines;
        previousHandler = qInstallMessageHandler(captureDebug);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previousHandler);
        capturedDebug = nullptr;
    }
};

// Answers the warning box that the next click opens. The box runs its own event loop, in which the
// queued call finds it; a call still pending when this goes away is dropped with it.
struct WarningAnswer : QObject
{
    bool shown = false;
    QString title, text;
    QWidget *parent = nullptr;
    QMessageBox::StandardButtons buttons;

    WarningAnswer()
    {
        QTimer::singleShot(0, this, [this] {
            for (QWidget *window : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(window);
                if (!box || !box->isVisible())
                    continue;
                shown = true;
                title = box->windowTitle();
                text = box->text();
                parent = box->parentWidget();
                buttons = box->standardButtons();
                box->close();
                return;
            }
        });
    }
};

// Records which texts are looked up, and in which context, and answers with the source text.
class RecordingTranslator : public QTranslator
{
public:
    mutable QStringList lookups;
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        lookups.append(QString::fromUtf8(context) + '|' + QString::fromUtf8(sourceText));
        return QString();
    }
};

template <typename T> T *widget(const QWidget &dialog, const QString &name)
{
    T *found = dialog.findChild<T *>(name);
    if (!found)
        qFatal("no widget %s", qPrintable(name));
    return found;
}

QString shownText(QWidget *w)
{
    if (auto *group = qobject_cast<QGroupBox *>(w))
        return group->title();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        return edit->text();
    return QString();
}

LinkSettings sampleSettings(bool useUdp, bool isServer)
{
    LinkSettings settings;
    settings.use_udp = useUdp;
    settings.is_server = isServer;
    settings.serialport = "no-such-port";
    settings.server_host = ForeignAddress;
    settings.server_port = "5000";
    settings.client_host = "192.0.2.7";
    settings.client_port = "5001";
    return settings;
}

bool operator==(const LinkSettings &a, const LinkSettings &b)
{
    return a.is_server == b.is_server && a.use_udp == b.use_udp && a.serialport == b.serialport &&
           a.server_host == b.server_host && a.server_port == b.server_port &&
           a.client_host == b.client_host && a.client_port == b.client_port;
}

QStringList enabledOf(const QWidget &dialog)
{
    QStringList enabled;
    for (const QString &name : UdpWidgets + QStringList{"comboBox_serial"}) {
        if (widget<QWidget>(dialog, name)->isEnabled())
            enabled << name;
    }
    for (const QString &name : AlwaysEnabled) {
        if (!widget<QWidget>(dialog, name)->isEnabled())
            enabled << "disabled:" + name;
    }
    return enabled;
}

QStringList listedAddresses()
{
    CCommDialog dialog(nullptr, nullptr);
    QStringList listed;
    auto *nic = widget<QComboBox>(dialog, "comboBox_nic");
    for (int i = 0; i < nic->count(); ++i)
        listed << nic->itemText(i);
    return listed;
}
} // namespace

class TestCCommDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=true"); }

    void formWidgets_data();
    void formWidgets();
    void formDialog();
    void formTextsGoThroughTranslation();
    void interfaceAddresses_data();
    void interfaceAddresses();
    void listsOwnInterfaceAddresses();
    void loadEnabledStates_data();
    void loadEnabledStates();
    void modeSwitching();
    void loadServerHost();
    void portValidators_data();
    void portValidators();
    void nullRecord();
    void okValidation_data();
    void okValidation();
    void okWritesEveryField_data();
    void okWritesEveryField();
    void rejectWritesNothing_data();
    void rejectWritesNothing();
    void ptysAreNotListed();
    void serialPortMapping();
};

void TestCCommDialog::formWidgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("checked"); // -1: not checkable

    // In creation order.
    QTest::newRow("groupBox") << "QGroupBox"
                              << "CCommDialog" << QRect(20, 10, 271, 51) << "Serial Port" << -1;
    QTest::newRow("comboBox_serial") << "QComboBox"
                                     << "groupBox" << QRect(10, 20, 231, 22) << "" << -1;
    QTest::newRow("groupBox_2") << "QGroupBox"
                                << "CCommDialog" << QRect(20, 70, 271, 261) << "UDP Server/Client" << -1;
    QTest::newRow("checkBox_useudp") << "QCheckBox"
                                     << "groupBox_2" << QRect(10, 30, 181, 17) << "Enable" << 0;
    QTest::newRow("label_clienthost") << "QLabel"
                                      << "groupBox_2" << QRect(60, 190, 31, 16) << "Host:" << -1;
    QTest::newRow("label_clientport") << "QLabel"
                                      << "groupBox_2" << QRect(60, 220, 31, 16) << "Port:" << -1;
    QTest::newRow("label_serverhost") << "QLabel"
                                      << "groupBox_2" << QRect(60, 90, 31, 16) << "NIC:" << -1;
    QTest::newRow("comboBox_nic") << "QComboBox"
                                  << "groupBox_2" << QRect(100, 90, 141, 22) << "" << -1;
    QTest::newRow("label_serverport") << "QLabel"
                                      << "groupBox_2" << QRect(60, 120, 31, 16) << "Port:" << -1;
    QTest::newRow("lineEdit_client_host") << "QLineEdit"
                                          << "groupBox_2" << QRect(100, 190, 141, 20) << "" << -1;
    QTest::newRow("radioButton_client") << "QRadioButton"
                                        << "groupBox_2" << QRect(40, 160, 91, 17) << " UDP Client" << 0;
    QTest::newRow("lineEdit_client_port") << "QLineEdit"
                                          << "groupBox_2" << QRect(100, 220, 61, 20) << "" << -1;
    QTest::newRow("lineEdit_server_port") << "QLineEdit"
                                          << "groupBox_2" << QRect(100, 120, 61, 20) << "" << -1;
    QTest::newRow("radioButton_server") << "QRadioButton"
                                        << "groupBox_2" << QRect(40, 60, 111, 17) << "UDP Server" << 1;
    QTest::newRow("pushButton_ok") << "QPushButton"
                                   << "CCommDialog" << QRect(140, 340, 70, 23) << "OK" << -1;
    QTest::newRow("pushButton_cancel") << "QPushButton"
                                       << "CCommDialog" << QRect(220, 340, 70, 23) << "Cancel" << -1;
}

void TestCCommDialog::formWidgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(int, checked);

    QDialog dialog;
    Ui::CCommDialog form;
    form.setupUi(&dialog);
    const QString name = QTest::currentDataTag();
    auto *w = widget<QWidget>(dialog, name);
    QCOMPARE(w->metaObject()->className(), qPrintable(className));
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(shownText(w), text);
    QVERIFY(w->isEnabled());
    auto *button = qobject_cast<QAbstractButton *>(w);
    QCOMPARE(button && button->isCheckable() ? int(button->isChecked()) : -1, checked);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        QCOMPARE(combo->count(), 0);
}

void TestCCommDialog::formDialog()
{
    QDialog dialog;
    Ui::CCommDialog form;
    form.setupUi(&dialog);
    QCOMPARE(dialog.objectName(), QString("CCommDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Communication Interface"));
    QCOMPARE(dialog.size(), QSize(312, 370));
    QCOMPARE(dialog.sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(dialog.sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    dialog.show();
    dialog.resize(600, 500);
    QCOMPARE(dialog.size(), QSize(312, 370));
    dialog.resize(100, 100);
    QCOMPARE(dialog.size(), QSize(312, 370));

    const QStringList creationOrder = {"groupBox",
                                       "comboBox_serial",
                                       "groupBox_2",
                                       "checkBox_useudp",
                                       "label_clienthost",
                                       "label_clientport",
                                       "label_serverhost",
                                       "comboBox_nic",
                                       "label_serverport",
                                       "lineEdit_client_host",
                                       "radioButton_client",
                                       "lineEdit_client_port",
                                       "lineEdit_server_port",
                                       "radioButton_server",
                                       "pushButton_ok",
                                       "pushButton_cancel"};
    QStringList focusChain;
    for (QWidget *next = dialog.nextInFocusChain(); next != &dialog; next = next->nextInFocusChain()) {
        if (creationOrder.contains(next->objectName()))
            focusChain << next->objectName();
    }
    QCOMPARE(focusChain, creationOrder);
}

void TestCCommDialog::formTextsGoThroughTranslation()
{
    RecordingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    QDialog dialog;
    Ui::CCommDialog form;
    form.setupUi(&dialog);
    CCommDialog::serialPortText(QSerialPortInfo());
    QCoreApplication::removeTranslator(&translator);

    const QStringList expected = {"CCommDialog|Communication Interface",
                                  "CCommDialog|Serial Port",
                                  "CCommDialog|UDP Server/Client",
                                  "CCommDialog|Enable",
                                  "CCommDialog|Host:",
                                  "CCommDialog|Port:",
                                  "CCommDialog|NIC:",
                                  "CCommDialog|Port:",
                                  "CCommDialog| UDP Client",
                                  "CCommDialog|UDP Server",
                                  "CCommDialog|OK",
                                  "CCommDialog|Cancel",
                                  "CCommDialog|%1 (%2)"};
    // Installing a translator also looks up the application's layout direction.
    QCOMPARE(translator.lookups.filter(QRegularExpression("^CCommDialog\\|")), expected);
}

void TestCCommDialog::interfaceAddresses_data()
{
    QTest::addColumn<QStringList>("lookup");
    QTest::addColumn<QStringList>("interfaces");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("nothing") << QStringList() << QStringList() << QStringList();
    QTest::newRow("15 characters listed")
        << QStringList{"255.255.255.255"} << QStringList() << QStringList{"255.255.255.255"};
    QTest::newRow("15-character IPv6 listed")
        << QStringList{"2001:db8::1:234"} << QStringList() << QStringList{"2001:db8::1:234"};
    QTest::newRow("16 characters not listed")
        << QStringList{"2001:db8::1:2345", "10.0.0.1"} << QStringList() << QStringList{"10.0.0.1"};
    QTest::newRow("IPv6 loopback listed") << QStringList{"::1"} << QStringList() << QStringList{"::1"};
    QTest::newRow("lookup order kept") << QStringList{"127.0.1.1", "10.0.0.2", "10.0.0.1"} << QStringList()
                                       << QStringList{"127.0.1.1", "10.0.0.2", "10.0.0.1"};
    QTest::newRow("interfaces after lookup")
        << QStringList{"127.0.1.1"} << QStringList{"127.0.0.1", "192.0.2.2"}
        << QStringList{"127.0.1.1", "127.0.0.1", "192.0.2.2"};
    QTest::newRow("interfaces alone")
        << QStringList() << QStringList{"192.0.2.2"} << QStringList{"192.0.2.2"};
    QTest::newRow("duplicates not repeated")
        << QStringList{"192.0.2.2"} << QStringList{"127.0.0.1", "192.0.2.2", "127.0.0.1"}
        << QStringList{"192.0.2.2", "127.0.0.1"};
    QTest::newRow("IPv6 interfaces not appended")
        << QStringList{"127.0.1.1"} << QStringList{"::1", "fe80::1", "192.0.2.2"}
        << QStringList{"127.0.1.1", "192.0.2.2"};
}

void TestCCommDialog::interfaceAddresses()
{
    QFETCH(QStringList, lookup);
    QFETCH(QStringList, interfaces);
    QFETCH(QStringList, listed);
    auto addresses = [](const QStringList &texts) {
        QList<QHostAddress> result;
        for (const QString &text : texts) {
            result << QHostAddress(text);
            if (result.last().toString() != text)
                qFatal("%s is not written as itself", qPrintable(text));
        }
        return result;
    };
    QCOMPARE(CCommDialog::interfaceAddresses(addresses(lookup), addresses(interfaces)), listed);
}

void TestCCommDialog::listsOwnInterfaceAddresses()
{
    // The lookup of the own name alone may give only a loopback alias; every IPv4 interface address is
    // offered.
    const QStringList listed = listedAddresses();
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            QVERIFY2(listed.contains(address.toString()), qPrintable(address.toString()));
    }
    for (const QString &text : listed)
        QVERIFY2(text.size() <= 15, qPrintable(text));
}

void TestCCommDialog::loadEnabledStates_data()
{
    QTest::addColumn<bool>("useUdp");
    QTest::addColumn<bool>("isServer");
    QTest::addColumn<QStringList>("enabled");

    QTest::newRow("serial, server chosen") << false << true << SerialEnabled;
    QTest::newRow("serial, client chosen") << false << false << SerialEnabled;
    QTest::newRow("UDP client") << true << false << ClientEnabled;
    QTest::newRow("UDP server") << true << true << ServerEnabled;
}

void TestCCommDialog::loadEnabledStates()
{
    QFETCH(bool, useUdp);
    QFETCH(bool, isServer);
    QFETCH(QStringList, enabled);

    LinkSettings settings = sampleSettings(useUdp, isServer);
    CCommDialog dialog(nullptr, &settings);
    QCOMPARE(enabledOf(dialog), enabled);
    QCOMPARE(widget<QCheckBox>(dialog, "checkBox_useudp")->isChecked(), useUdp);
    QCOMPARE(widget<QRadioButton>(dialog, "radioButton_server")->isChecked(), isServer);
    QCOMPARE(widget<QRadioButton>(dialog, "radioButton_client")->isChecked(), !isServer);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_server_port")->text(), settings.server_port);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_client_host")->text(), settings.client_host);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_client_port")->text(), settings.client_port);
}

void TestCCommDialog::modeSwitching()
{
    LinkSettings settings = sampleSettings(false, true);
    CCommDialog dialog(nullptr, &settings);
    auto *useUdp = widget<QCheckBox>(dialog, "checkBox_useudp");
    useUdp->click();
    QCOMPARE(enabledOf(dialog), ServerEnabled);
    widget<QRadioButton>(dialog, "radioButton_client")->click();
    QCOMPARE(enabledOf(dialog), ClientEnabled);
    useUdp->click();
    QCOMPARE(enabledOf(dialog), SerialEnabled);
    useUdp->click();
    QCOMPARE(enabledOf(dialog), ClientEnabled);
}

void TestCCommDialog::loadServerHost()
{
    const QStringList listed = listedAddresses();
    if (listed.isEmpty())
        QSKIP("the machine lists no IPv4 address of its own");

    LinkSettings stored = sampleSettings(false, true);
    stored.server_host = listed.last();
    CCommDialog storedDialog(nullptr, &stored);
    QCOMPARE(widget<QComboBox>(storedDialog, "comboBox_nic")->currentText(), listed.last());

    LinkSettings foreign = sampleSettings(false, true);
    CCommDialog foreignDialog(nullptr, &foreign);
    QCOMPARE(widget<QComboBox>(foreignDialog, "comboBox_nic")->currentIndex(), 0);
    widget<QPushButton>(foreignDialog, "pushButton_ok")->click();
    QCOMPARE(foreign.server_host, listed.first());
}

void TestCCommDialog::portValidators_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("0") << "0"
                       << "0";
    QTest::newRow("highest port") << "65535"
                                  << "65535";
    QTest::newRow("one above") << "65536"
                               << "6553";
    QTest::newRow("five digits above") << "99999"
                                       << "9999";
    QTest::newRow("six digits") << "100000"
                                << "10000";
    QTest::newRow("sign") << "-1+2"
                          << "12";
    QTest::newRow("group separator") << "1,000"
                                     << "1000";
    QTest::newRow("blank and letters") << "8 0x"
                                       << "80";
}

void TestCCommDialog::portValidators()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    // Entries are typed into only while enabled; the host entry takes anything.
    LinkSettings settings;
    CCommDialog dialog(nullptr, &settings);
    for (const char *name : {"lineEdit_server_port", "lineEdit_client_port", "lineEdit_client_host"}) {
        auto *edit = widget<QLineEdit>(dialog, name);
        edit->setEnabled(true);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), QString(name) == "lineEdit_client_host" ? typed : kept);
    }
}

void TestCCommDialog::nullRecord()
{
    CCommDialog dialog(nullptr, nullptr);
    QVERIFY(widget<QRadioButton>(dialog, "radioButton_server")->isChecked());
    QVERIFY(!widget<QRadioButton>(dialog, "radioButton_client")->isChecked());
    QVERIFY(!widget<QCheckBox>(dialog, "checkBox_useudp")->isChecked());
    for (const char *name : {"lineEdit_server_port", "lineEdit_client_host", "lineEdit_client_port"})
        QVERIFY(widget<QLineEdit>(dialog, name)->text().isEmpty());
    QCOMPARE(enabledOf(dialog), SerialEnabled);

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    DebugCapture debug;
    widget<QPushButton>(dialog, "pushButton_ok")->click();
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(debug.lines, QStringList{"OK CLICK.. "});
}

void TestCCommDialog::okValidation_data()
{
    QTest::addColumn<bool>("useUdp");
    QTest::addColumn<bool>("isServer");
    QTest::addColumn<QString>("serverPort");
    QTest::addColumn<QString>("clientHost");
    QTest::addColumn<QString>("clientPort");
    QTest::addColumn<QString>("warningTitle"); // empty: accepted

    const QString server = "UDP Server error";
    const QString client = "UDP Client error";
    QTest::newRow("server, port empty") << true << true << ""
                                        << "h"
                                        << "1" << server;
    QTest::newRow("server, port 0") << true << true << "0"
                                    << "h"
                                    << "1"
                                    << "";
    QTest::newRow("server, client entries empty") << true << true << "5000"
                                                  << ""
                                                  << ""
                                                  << "";
    QTest::newRow("client, host empty") << true << false << "5000"
                                        << ""
                                        << "1" << client;
    QTest::newRow("client, port empty") << true << false << "5000"
                                        << "h"
                                        << "" << client;
    QTest::newRow("client, both empty") << true << false << "5000"
                                        << ""
                                        << "" << client;
    QTest::newRow("client, server port empty") << true << false << ""
                                               << "h"
                                               << "0"
                                               << "";
    QTest::newRow("UDP off, server chosen") << false << true << ""
                                            << ""
                                            << ""
                                            << "";
    QTest::newRow("UDP off, client chosen") << false << false << ""
                                            << ""
                                            << ""
                                            << "";
}

void TestCCommDialog::okValidation()
{
    QFETCH(bool, useUdp);
    QFETCH(bool, isServer);
    QFETCH(QString, serverPort);
    QFETCH(QString, clientHost);
    QFETCH(QString, clientPort);
    QFETCH(QString, warningTitle);

    LinkSettings settings = sampleSettings(useUdp, isServer);
    settings.server_port = serverPort;
    settings.client_host = clientHost;
    settings.client_port = clientPort;
    const LinkSettings before = settings;
    CCommDialog dialog(nullptr, &settings);
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    DebugCapture debug;
    WarningAnswer answer;
    widget<QPushButton>(dialog, "pushButton_ok")->click();

    QCOMPARE(debug.lines.value(0), QString("OK CLICK.. "));
    if (warningTitle.isEmpty()) {
        QVERIFY(!answer.shown);
        QCOMPARE(accepted.count(), 1);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(debug.lines, (QStringList{"OK CLICK.. ", "comm is not null "}));
        return;
    }
    QVERIFY(answer.shown);
    QCOMPARE(answer.title, warningTitle);
    QCOMPARE(answer.text, isServer ? QString("Please, specify valid port!")
                                   : QString("Please, specify valid host and/or port!"));
    QCOMPARE(answer.parent, &dialog);
    QCOMPARE(answer.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(dialog.isVisible());
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(debug.lines, QStringList{"OK CLICK.. "});
    QVERIFY(settings == before);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_server_port")->text(), serverPort);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_client_host")->text(), clientHost);
    QCOMPARE(widget<QLineEdit>(dialog, "lineEdit_client_port")->text(), clientPort);
}

void TestCCommDialog::okWritesEveryField_data()
{
    QTest::addColumn<bool>("useUdp");
    QTest::addColumn<bool>("isServer");

    QTest::newRow("serial") << false << false;
    QTest::newRow("UDP client") << true << false;
    QTest::newRow("UDP server") << true << true;
}

void TestCCommDialog::okWritesEveryField()
{
    QFETCH(bool, useUdp);
    QFETCH(bool, isServer);

    // Loaded in the opposite mode, so that every field changes.
    LinkSettings settings = sampleSettings(!useUdp, !isServer);
    CCommDialog dialog(nullptr, &settings);
    widget<QCheckBox>(dialog, "checkBox_useudp")->setChecked(useUdp);
    widget<QRadioButton>(dialog, isServer ? "radioButton_server" : "radioButton_client")->setChecked(true);
    widget<QLineEdit>(dialog, "lineEdit_server_port")->setText("6000");
    widget<QLineEdit>(dialog, "lineEdit_client_host")->setText("198.51.100.9");
    widget<QLineEdit>(dialog, "lineEdit_client_port")->setText("6001");
    auto *nic = widget<QComboBox>(dialog, "comboBox_nic");
    nic->setCurrentIndex(nic->count() - 1);
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();

    DebugCapture debug;
    widget<QPushButton>(dialog, "pushButton_ok")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(debug.lines, (QStringList{"OK CLICK.. ", "comm is not null "}));
    QCOMPARE(settings.server_host, nic->currentText());
    QCOMPARE(settings.server_port, QString("6000"));
    QCOMPARE(settings.client_host, QString("198.51.100.9"));
    QCOMPARE(settings.client_port, QString("6001"));
    // The stored port is not present: the first listed one is current, or nothing is when none is listed.
    QCOMPARE(settings.serialport, ports.isEmpty() ? QString("no-such-port") : ports.first().portName());
    QCOMPARE(settings.is_server, isServer);
    QCOMPARE(settings.use_udp, useUdp);
}

void TestCCommDialog::rejectWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close") << "close";
}

void TestCCommDialog::rejectWritesNothing()
{
    QFETCH(QString, how);
    LinkSettings settings = sampleSettings(true, false);
    const LinkSettings before = settings;
    CCommDialog dialog(nullptr, &settings);
    dialog.show();
    widget<QCheckBox>(dialog, "checkBox_useudp")->setChecked(false);
    widget<QLineEdit>(dialog, "lineEdit_client_host")->setText("198.51.100.9");
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    DebugCapture debug;

    if (how == "cancel")
        widget<QPushButton>(dialog, "pushButton_cancel")->click();
    else if (how == "escape")
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();

    QCOMPARE(rejected.count(), 1);
    QCOMPARE(accepted.count(), 0);
    QVERIFY(!dialog.isVisible());
    QVERIFY(debug.lines.isEmpty());
    QVERIFY(settings == before);
}

void TestCCommDialog::ptysAreNotListed()
{
#ifdef Q_OS_UNIX
    Pty pty;
    QVERIFY(pty.isOpen());
    const QString ptyName = pty.slavePath().mid(QString("/dev/").size());
    LinkSettings settings = sampleSettings(false, true);
    settings.serialport = ptyName;
    CCommDialog dialog(nullptr, &settings);
    auto *serial = widget<QComboBox>(dialog, "comboBox_serial");
    for (int i = 0; i < serial->count(); ++i)
        QVERIFY2(!serial->itemText(i).contains("pts/"), qPrintable(serial->itemText(i)));
    QCOMPARE(serial->count(), QSerialPortInfo::availablePorts().size());

    widget<QPushButton>(dialog, "pushButton_ok")->click();
    QCOMPARE(settings.serialport,
             serial->count() ? QSerialPortInfo::availablePorts().first().portName() : ptyName);
#else
    QSKIP("pseudo-terminals are a POSIX facility");
#endif
}

void TestCCommDialog::serialPortMapping()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty())
        QSKIP("the machine lists no serial port, so there is no entry to map back to a port name");

    for (int loaded = 0; loaded < ports.size(); ++loaded) {
        LinkSettings settings = sampleSettings(false, true);
        settings.serialport = ports.at(loaded).portName();
        CCommDialog dialog(nullptr, &settings);
        auto *serial = widget<QComboBox>(dialog, "comboBox_serial");
        QCOMPARE(serial->count(), ports.size());
        for (int i = 0; i < ports.size(); ++i)
            QCOMPARE(serial->itemText(i),
                     QString("%1 (%2)").arg(ports.at(i).description(), ports.at(i).portName()));
        QCOMPARE(serial->currentText(), CCommDialog::serialPortText(ports.at(loaded)));

        const int chosen = (loaded + 1) % ports.size();
        serial->setCurrentIndex(chosen);
        widget<QPushButton>(dialog, "pushButton_ok")->click();
        QCOMPARE(settings.serialport, ports.at(chosen).portName());
    }
}

QTEST_MAIN(TestCCommDialog)
#include "tst_ccommdialog.moc"
