// The communication settings dialog: what it lists and loads, the fields each mode enables, what OK checks
// and stores and Cancel leaves alone, and a name lookup that answers late or never.

#include "ccommdialog.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include "displayoptions.h"

using Threshold = std::tuple<double, QVariant, const char *, double>;
Q_DECLARE_METATYPE(LinkSettings)

namespace {
// The widgets disabled in each mode, in creation (= focus) order.
const QString SerialMode =
    "label_clienthost label_clientport label_serverhost comboBox_nic label_serverport "
    "lineEdit_client_host radioButton_client lineEdit_client_port lineEdit_server_port "
    "radioButton_server label_multicast lineEdit_multicast_group";
const QString ServerMode = "label_clienthost label_clientport lineEdit_client_host lineEdit_client_port";
const QString ClientMode =
    "comboBox_serial label_serverhost comboBox_nic label_serverport lineEdit_server_port";
const QString ForeignAddress = "203.0.113.254"; // TEST-NET-3, never one of the machine's own

QString disabledOf(const QWidget &dialog)
{
    QStringList names;
    for (QWidget *w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain())
        if (!w->isEnabled())
            names << w->objectName();
    return names.join(' ');
}
QString fields(const LinkSettings &s)
{
    return QString("%1 %2 %3|%4|%5|%6|%7|%8")
        .arg(s.is_server ? "server" : "client", s.use_udp ? "udp" : "serial", s.serialport, s.server_host,
             s.server_port, s.client_host, s.client_port, s.multicast_group);
}
QList<QHostAddress> addresses(const QString &texts)
{
    QList<QHostAddress> result;
    for (const QString &text : texts.split(' ', Qt::SkipEmptyParts))
        result << QHostAddress(text);
    return result;
}
QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

// A name server that never answers by itself, as a dead one does (see initTestCase); the test answers
// the last lookup in its place.
QPointer<QObject> asker;
int lookups = 0;
void answer(const QString &texts)
{
    QHostInfo info(lookups);
    info.setAddresses(addresses(texts));
    QVERIFY(QMetaObject::invokeMethod(asker, "addLookedUpAddresses", Q_ARG(QHostInfo, info)));
}
} // namespace

class TestCCommDialog : public QObject
{
    Q_OBJECT

    static void click(const QWidget &d, const char *name) { d.findChild<QAbstractButton *>(name)->click(); }

private slots:
    // Every dialog here waits for its lookup.
    void initTestCase()
    {
        CCommDialog::hostLookup = [](const QString &, QObject *receiver, const char *) {
            asker = receiver;
            return ++lookups;
        };
    }
    // The interfaces are listed at once; the lookup's answer, whenever it comes while the dialog is open,
    // adds what it has to the list and brings up the stored interface unless the user chose another.
    void lateNameLookup()
    {
        // Texts over 15 characters are left out; interface addresses follow the lookup's, IPv4 only, once.
        QCOMPARE(
            CCommDialog::interfaceAddresses(addresses("2001:db8::1:2345 255.255.255.255 ::1 127.0.1.1"),
                                            addresses("127.0.0.1 fe80::1 127.0.1.1 192.0.2.2 127.0.0.1")),
            QString("255.255.255.255 ::1 127.0.1.1 127.0.0.1 192.0.2.2").split(' '));
        const QStringList atOnce = CCommDialog::interfaceAddresses({}, QNetworkInterface::allAddresses());
        const QString lookupAnswer = "2001:db8::1:2345 " + atOnce.join(' ') + " 192.0.2.5 " + ForeignAddress;
        for (const QString step : {"open", "chosen", "closed"}) {
            LinkSettings settings{true, true, "", ForeignAddress, "5000", "", ""};
            CCommDialog dialog(nullptr, &settings);
            auto *nic = dialog.findChild<QComboBox *>("comboBox_nic");
            QCOMPARE(items(nic), atOnce);
            if (step == "chosen")
                emit nic->activated(0);
            if (step == "closed")
                click(dialog, "pushButton_cancel");
            answer(lookupAnswer);
            QCOMPARE(items(nic),
                     atOnce + (step == "closed" ? QStringList() : QStringList{"192.0.2.5", ForeignAddress}));
            QCOMPARE(nic->currentText(), step == "open" ? ForeignAddress : atOnce.value(0));
        }
    }
    // Without a record: serial mode, a fixed size, port fields that take plain decimal digits up to the
    // highest port; OK accepts and writes nothing. With one: the modes as switched, and Cancel keeps it.
    void noRecordThenModesAndCancel()
    {
        CCommDialog dialog(nullptr, nullptr);
        dialog.resize(600, 100);
        QVERIFY(disabledOf(dialog) == SerialMode && dialog.size() == QSize(312, 400));
        for (const char *row : {"0 0", "65535 65535", "65536 6553", "99999 9999", "-1+2 12", "1,000 1000"}) {
            for (QLineEdit *edit : dialog.findChildren<QLineEdit *>(QRegularExpression("_port$"))) {
                edit->setEnabled(true);
                edit->clear();
                QTest::keyClicks(edit, QString(row).section(' ', 0, 0));
                QVERIFY2(edit->text() == QString(row).section(' ', 1), row);
            }
        }
        click(dialog, "pushButton_ok");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        LinkSettings settings{true, false, "no-such-port", ForeignAddress, "5000", "192.0.2.7", "5001"};
        const QString before = fields(settings);
        CCommDialog withRecord(nullptr, &settings);
        for (const auto &[button, mode] : {std::pair("checkBox_useudp", ServerMode),
                                           {"radioButton_client", ClientMode},
                                           {"checkBox_useudp", SerialMode}}) {
            click(withRecord, button);
            QCOMPARE(disabledOf(withRecord), mode);
        }
        click(withRecord, "pushButton_cancel");
        QVERIFY(withRecord.result() == QDialog::Rejected && fields(settings) == before);
    }
    // With UDP on, a group outside 224.0.0.0/4 keeps the dialog open; empty means broadcast.
    void loadAndOk_data()
    {
        QTest::addColumn<LinkSettings>("loaded");
        QTest::addColumn<QString>("warning");
        const QString server = "UDP Server error|Please, specify valid port!";
        const QString client = "UDP Client error|Please, specify valid host and/or port!";
        const QString group =
            "UDP Multicast error|Please, specify a multicast group in 224.0.0.0/4 (224.0.0.0 "
            "to 239.255.255.255), or leave it empty for broadcast!";
        // The stored interface is either the last one listed or one not listed.
        const QString f = ForeignAddress,
                      l = CCommDialog::interfaceAddresses({}, QNetworkInterface::allAddresses()).last();
        QTest::newRow("serial") << LinkSettings{true, false, "", f, "5000", "192.0.2.7", "5001"} << "";
        QTest::newRow("serial, all empty") << LinkSettings{false, false, "", l, "", "", ""} << "";
        QTest::newRow("server, port empty") << LinkSettings{true, true, "", f, "", "h", "1"} << server;
        QTest::newRow("server, port 0") << LinkSettings{true, true, "", l, "0", "", ""} << "";
        QTest::newRow("client, host empty") << LinkSettings{false, true, "", f, "5000", "", "1"} << client;
        QTest::newRow("client, port empty") << LinkSettings{false, true, "", f, "5000", "h", ""} << client;
        QTest::newRow("client, port 0") << LinkSettings{false, true, "", f, "", "192.0.2.7", "0"} << "";
        // Groups in 224.0.0.0/4 (blanks around allowed), then groups refused.
        const QStringList groups = {" 239.255.77.77 ", "224.0.0.0", "239.255.255.255", "223.255.255.255",
                                    "240.0.0.0",       "ff02::1",   "studio"};
        for (int i = 0; i < groups.size(); ++i) { // in either mode
            LinkSettings loaded{i % 2 == 0, true, "", l, "5000", "192.0.2.7", "5001"};
            loaded.multicast_group = groups[i];
            QTest::addRow("%s, group %s", i % 2 ? "client" : "server", qPrintable(groups[i]))
                << loaded << (i < 3 ? QString() : group);
        }
    }
    void loadAndOk()
    {
        QFETCH(LinkSettings, loaded);
        QFETCH(QString, warning);
        LinkSettings settings = loaded;
        CCommDialog dialog(nullptr, &settings);
        QCOMPARE(disabledOf(dialog),
                 loaded.use_udp ? (loaded.is_server ? ServerMode : ClientMode) : SerialMode);
        // OK has to write every field from the form, none left from the record.
        settings = {!loaded.is_server, !loaded.use_udp, "", "stale", "stale", "stale", "stale", "stale"};
        const QString stale = fields(settings);
        dialog.show();
        QString shown;
        QTimer::singleShot(0, &dialog, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            shown = box->parentWidget() == &dialog ? box->windowTitle() + '|' + box->text() : "misplaced";
            box->close();
        });
        click(dialog, "pushButton_ok");
        QVERIFY(shown == warning && dialog.isVisible() == !warning.isEmpty());
        // An interface or a port not listed leaves the first listed one current.
        if (loaded.server_host == ForeignAddress)
            loaded.server_host = dialog.findChild<QComboBox *>("comboBox_nic")->itemText(0);
        loaded.serialport = QSerialPortInfo::availablePorts().value(0).portName();
        loaded.multicast_group = loaded.multicast_group.trimmed();
        QCOMPARE(fields(settings), warning.isEmpty() ? fields(loaded) : stale);
    }
    // Each port listed with its description and chosen by its name.
    void serialList()
    {
        const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
        if (ports.isEmpty())
            QSKIP("this machine has no serial port to list");
        for (int i = 0; i < ports.size(); ++i) {
            LinkSettings settings{false, false, ports.at(i).portName(), "", "", "", ""};
            CCommDialog dialog(nullptr, &settings);
            auto *serial = dialog.findChild<QComboBox *>("comboBox_serial");
            QVERIFY(serial->count() == ports.size() &&
                    serial->currentText() ==
                        QString("%1 (%2)").arg(ports.at(i).description(), settings.serialport));
            serial->setCurrentIndex((i + 1) % ports.size());
            click(dialog, "pushButton_ok");
            QCOMPARE(settings.serialport, ports.at((i + 1) % ports.size()).portName());
        }
    }

    // The display options show the silence threshold in tenths; OK keeps a stored value nobody changed.
    void silenceThresholdInTenths()
    {
        // Stored, set (none: untouched), shown, after OK.
        for (const auto &[stored, set, shown, afterOk] :
             {Threshold{-40.57, {}, "-40.6 dB", -40.57}, {-40.57, -30.3, "-30.3 dB", -30.3}}) {
            DisplayOptions options;
            options.metering = MeterChoices{false, false, true, stored, 10};
            CDisplayOptions dialog(nullptr, options);
            auto *box = dialog.findChild<QAbstractSpinBox *>("spinBox_silencethreshold");
            if (set.isValid())
                box->setProperty("value", set);
            QCOMPARE(box->text(), QString(shown));
            click(dialog, "pushButton_ok");
            QCOMPARE(dialog.options().metering->silenceThresholdDb, afterOk);
        }
    }
};

QTEST_MAIN(TestCCommDialog)
#include "tst_ccommdialog.moc"
