#include <QHostInfo>
#include <QNetworkInterface>
#include <QtTest>
#include <QtWidgets>

#include "ccommdialog.h"
#include "pty.h"
#include "ui_ccommdialog.h"

Q_DECLARE_METATYPE(LinkSettings)

namespace {
// In creation (= focus) order: name class parent x,y,w,h 'text' checked (- not checkable).
const QStringList Form = {"groupBox QGroupBox CCommDialog 20,10,271,51 'Serial Port' -",
                          "comboBox_serial QComboBox groupBox 10,20,231,22 '' -",
                          "groupBox_2 QGroupBox CCommDialog 20,70,271,261 'UDP Server/Client' -",
                          "checkBox_useudp QCheckBox groupBox_2 10,30,181,17 'Enable' false",
                          "label_clienthost QLabel groupBox_2 60,190,31,16 'Host:' -",
                          "label_clientport QLabel groupBox_2 60,220,31,16 'Port:' -",
                          "label_serverhost QLabel groupBox_2 60,90,31,16 'NIC:' -",
                          "comboBox_nic QComboBox groupBox_2 100,90,141,22 '' -",
                          "label_serverport QLabel groupBox_2 60,120,31,16 'Port:' -",
                          "lineEdit_client_host QLineEdit groupBox_2 100,190,141,20 '' -",
                          "radioButton_client QRadioButton groupBox_2 40,160,91,17 ' UDP Client' false",
                          "lineEdit_client_port QLineEdit groupBox_2 100,220,61,20 '' -",
                          "lineEdit_server_port QLineEdit groupBox_2 100,120,61,20 '' -",
                          "radioButton_server QRadioButton groupBox_2 40,60,111,17 'UDP Server' true",
                          "pushButton_ok QPushButton CCommDialog 140,340,70,23 'OK' -",
                          "pushButton_cancel QPushButton CCommDialog 220,340,70,23 'Cancel' -"};
// The widgets disabled in each mode, in creation order.
const QString SerialMode =
    "label_clienthost label_clientport label_serverhost comboBox_nic label_serverport "
    "lineEdit_client_host radioButton_client lineEdit_client_port lineEdit_server_port "
    "radioButton_server";
const QString ServerMode = "label_clienthost label_clientport lineEdit_client_host lineEdit_client_port";
const QString ClientMode =
    "comboBox_serial label_serverhost comboBox_nic label_serverport lineEdit_server_port";
const QString ServerWarning = "UDP Server error|Please, specify valid port!";
const QString ClientWarning = "UDP Client error|Please, specify valid host and/or port!";
const QStringList AcceptedLines = {"OK CLICK.. ", "comm is not null "};
const QString ForeignAddress = "203.0.113.254"; // TEST-NET-3, never one of the machine's own
// The debug lines of the running test function; other messages go on to the test's own handler.
QStringList debugLines;
QtMessageHandler otherMessages = nullptr;

// The form's widgets written as the Form table writes them, along the focus chain.
QStringList described(const QWidget &dialog)
{
    QStringList rows;
    for (QWidget *w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
        const QRect g = w->geometry();
        rows << QString("%1 %2 %3 %4 '%5' %6%7")
                    .arg(w->objectName(), w->metaObject()->className(), w->parentWidget()->objectName(),
                         QString::asprintf("%d,%d,%d,%d", g.x(), g.y(), g.width(), g.height()),
                         w->property(qobject_cast<QGroupBox *>(w) ? "title" : "text").toString(),
                         w->property("checkable").toBool() ? w->property("checked").toString() : "-",
                         w->isEnabled() ? "" : " disabled");
    }
    return rows;
}
QString disabledOf(const QWidget &dialog)
{
    return described(dialog).filter(" disabled").replaceInStrings(QRegularExpression(" .*"), "").join(' ');
}
QString fields(const LinkSettings &s)
{
    return QString("%1 %2 %3|%4|%5|%6|%7")
        .arg(s.is_server ? "server" : "client", s.use_udp ? "udp" : "serial", s.serialport, s.server_host,
             s.server_port, s.client_host, s.client_port);
}
QList<QHostAddress> addresses(const QString &texts)
{
    QList<QHostAddress> result;
    for (const QString &text : texts.split(' ', Qt::SkipEmptyParts))
        result << QHostAddress(text);
    return result;
}
QStringList items(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

// A name server that never answers by itself, as a dead one does; the test may answer in its place.
struct SilentResolver
{
    static inline QPointer<QObject> asker;
    static inline int lookups = 0;
    static int lookup(const QString &, QObject *receiver, const char *)
    {
        asker = receiver;
        return ++lookups;
    }
    static void answer(const QString &texts)
    {
        QHostInfo info(lookups);
        info.setAddresses(addresses(texts));
        QVERIFY(QMetaObject::invokeMethod(asker, "addLookedUpAddresses", Q_ARG(QHostInfo, info)));
    }
};
} // namespace

class TestCCommDialog : public QObject
{
    Q_OBJECT

    static void click(const QWidget &d, const char *name) { d.findChild<QAbstractButton *>(name)->click(); }

private slots:
    void initTestCase()
    {
        CCommDialog::hostLookup = &SilentResolver::lookup; // every dialog here waits for its lookup
        QLoggingCategory::setFilterRules("default.debug=true");
        otherMessages =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &where, const QString &text) {
                type == QtDebugMsg ? void(debugLines << text) : otherMessages(type, where, text);
            });
    }
    void init() { debugLines.clear(); }
    void form()
    {
        QDialog dialog;
        Ui::CCommDialog().setupUi(&dialog);
        QCOMPARE(described(dialog), Form);
        QCOMPARE(dialog.windowTitle(), QString("Communication Interface"));
        dialog.resize(600, 100);
        QCOMPARE(dialog.size(), QSize(312, 370));
    }
    void interfaceAddresses()
    {
        // Texts over 15 characters are left out; interface addresses follow the lookup's, IPv4 only, once.
        const QList<QHostAddress> lookup = addresses("2001:db8::1:2345 255.255.255.255 ::1 127.0.1.1");
        const QList<QHostAddress> interfaces = addresses("127.0.0.1 fe80::1 127.0.1.1 192.0.2.2 127.0.0.1");
        QCOMPARE(CCommDialog::interfaceAddresses(lookup, interfaces).join(' '),
                 QString("255.255.255.255 ::1 127.0.1.1 127.0.0.1 192.0.2.2"));
    }
    void noRecord()
    {
        CCommDialog dialog(nullptr, nullptr);
        QCOMPARE(disabledOf(dialog), SerialMode);
        const auto *nic = dialog.findChild<QComboBox *>("comboBox_nic");
        for (const QHostAddress &address : QNetworkInterface::allAddresses())
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                QVERIFY2(nic->findText(address.toString()) >= 0, qPrintable(address.toString()));
        LinkSettings stored{true, true, "", nic->itemText(nic->count() - 1), "1", "", ""};
        const CCommDialog storedDialog(nullptr, &stored);
        QCOMPARE(storedDialog.findChild<QComboBox *>("comboBox_nic")->currentText(), stored.server_host);
        click(dialog, "pushButton_ok");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(debugLines, AcceptedLines.mid(0, 1));
    }
    // The interfaces are listed at once; the lookup's answer, whenever it comes while the dialog is open,
    // adds what it has to the list and brings up the stored interface unless the user chose another.
    void lateNameLookup()
    {
        const QStringList atOnce = CCommDialog::interfaceAddresses({}, QNetworkInterface::allAddresses());
        const QString answer = "2001:db8::1:2345 " + atOnce.join(' ') + " 192.0.2.5 " + ForeignAddress;
        for (const QString step : {"open", "chosen", "closed"}) {
            LinkSettings settings{true, true, "", ForeignAddress, "5000", "", ""};
            CCommDialog dialog(nullptr, &settings);
            auto *nic = dialog.findChild<QComboBox *>("comboBox_nic");
            QCOMPARE(items(*nic), atOnce);
            if (step == "chosen")
                emit nic->activated(0);
            if (step == "closed")
                click(dialog, "pushButton_cancel");
            SilentResolver::answer(answer);
            const QStringList added =
                step == "closed" ? QStringList() : QStringList{"192.0.2.5", ForeignAddress};
            QCOMPARE(items(*nic), atOnce + added);
            QCOMPARE(nic->currentText(), step == "open" ? ForeignAddress : atOnce.value(0));
        }
    }
    void modeSwitchingThenCancel()
    {
        LinkSettings settings{true, false, "no-such-port", ForeignAddress, "5000", "192.0.2.7", "5001"};
        const QString before = fields(settings);
        CCommDialog dialog(nullptr, &settings);
        click(dialog, "checkBox_useudp");
        QCOMPARE(disabledOf(dialog), ServerMode);
        click(dialog, "radioButton_client");
        QCOMPARE(disabledOf(dialog), ClientMode);
        click(dialog, "checkBox_useudp");
        QCOMPARE(disabledOf(dialog), SerialMode);
        click(dialog, "pushButton_cancel");
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(debugLines.isEmpty());
        QCOMPARE(fields(settings), before);
    }
    void portValidators_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        for (const char *row : {"0 0", "65535 65535", "65536 6553", "99999 9999", "-1+2 12", "1,000 1000"})
            QTest::newRow(row) << QString(row).section(' ', 0, 0) << QString(row).section(' ', 1);
    }
    void portValidators()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        CCommDialog dialog(nullptr, nullptr);
        for (QLineEdit *edit : dialog.findChildren<QLineEdit *>(QRegularExpression("_port$"))) {
            edit->setEnabled(true);
            QTest::keyClicks(edit, typed);
            QCOMPARE(edit->text(), kept);
        }
    }
    void loadAndOk_data()
    {
        QTest::addColumn<LinkSettings>("loaded");
        QTest::addColumn<QString>("warning");
        const auto row = [](const char *tag, LinkSettings s, QString w) { QTest::newRow(tag) << s << w; };
        row("serial", {true, false, "", "", "5000", "192.0.2.7", "5001"}, "");
        row("serial, all empty", {false, false, "", "", "", "", ""}, "");
        row("server, port empty", {true, true, "", "", "", "h", "1"}, ServerWarning);
        row("server, port 0", {true, true, "", "", "0", "", ""}, "");
        row("client, host empty", {false, true, "", "", "5000", "", "1"}, ClientWarning);
        row("client, port empty", {false, true, "", "", "5000", "h", ""}, ClientWarning);
        row("client, port 0", {false, true, "", "", "", "192.0.2.7", "0"}, "");
    }
    void loadAndOk()
    {
        QFETCH(LinkSettings, loaded);
        QFETCH(QString, warning);
        loaded.server_host = ForeignAddress;
        LinkSettings settings = loaded;
        CCommDialog dialog(nullptr, &settings);
        QCOMPARE(disabledOf(dialog),
                 loaded.use_udp ? (loaded.is_server ? ServerMode : ClientMode) : SerialMode);
        // OK has to write every field from the form, none left from the record.
        settings = {!loaded.is_server, !loaded.use_udp, "", "stale", "stale", "stale", "stale"};
        const QString stale = fields(settings);
        dialog.show();
        QString shown;
        QTimer::singleShot(0, &dialog, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shown = box->parentWidget() == &dialog ? box->windowTitle() + '|' + box->text() : "misplaced";
            box->close();
        });
        click(dialog, "pushButton_ok");
        QCOMPARE(shown, warning);
        QCOMPARE(dialog.isVisible(), !warning.isEmpty());
        QCOMPARE(debugLines, AcceptedLines.mid(0, warning.isEmpty() ? 2 : 1));
        // Neither the stored interface nor the stored port is listed: the first listed ones are current.
        loaded.server_host = dialog.findChild<QComboBox *>("comboBox_nic")->itemText(0);
        loaded.serialport = QSerialPortInfo::availablePorts().value(0).portName();
        QCOMPARE(fields(settings), warning.isEmpty() ? fields(loaded) : stale);
    }
    void serialList()
    {
#ifdef Q_OS_UNIX
        const Pty pty; // open while the ports are listed, and not among them
        QVERIFY(pty.isOpen());
#endif
        const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
        if (ports.isEmpty())
            QSKIP("this machine has no serial port to list");
        for (int i = 0; i < ports.size(); ++i) {
            LinkSettings settings{false, false, ports.at(i).portName(), "", "", "", ""};
            CCommDialog dialog(nullptr, &settings);
            auto *serial = dialog.findChild<QComboBox *>("comboBox_serial");
            QVERIFY(!settings.serialport.startsWith("pts/"));
            QCOMPARE(serial->count(), ports.size());
            QCOMPARE(serial->currentText(),
                     QString("%1 (%2)").arg(ports.at(i).description(), settings.serialport));
            serial->setCurrentIndex((i + 1) % ports.size());
            click(dialog, "pushButton_ok");
            QCOMPARE(settings.serialport, ports.at((i + 1) % ports.size()).portName());
        }
    }
};

QTEST_MAIN(TestCCommDialog)
#include "tst_ccommdialog.moc"
