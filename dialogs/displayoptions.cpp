#include "displayoptions.h"
#include "ui_displayoptions.h"

CDisplayOptions::CDisplayOptions(QWidget *parent, const DisplayOptions &options)
    : QDialog(parent), ui(new Ui::CDisplayOptions), offersSignalTimeout(options.signalTimeoutMs.has_value()),
      offersMetering(options.metering.has_value()), offersWeb(options.web.has_value())
{
    ui->setupUi(this);
    ui->groupBox_web->setVisible(offersWeb);
    if (offersWeb) {
        // Below the rest, the buttons under it.
        const int extra = ui->groupBox_web->height() + 10;
        for (QWidget *button :
             {static_cast<QWidget *>(ui->pushButton_ok), static_cast<QWidget *>(ui->pushButton_cancel)})
            button->move(button->x(), button->y() + extra);
        setFixedSize(width(), height() + extra);
        ui->spinBox_webport->setRange(0, 65535);
        ui->spinBox_webport->setValue(options.web->port);
        ui->lineEdit_webbind->setText(options.web->bind);
    }
    ui->spinBox_hidecursor->setRange(0, DisplayOptions::MaxHideCursorSeconds);
    ui->spinBox_signaltimeout->setRange(DisplayOptions::MinSignalTimeoutMs,
                                        DisplayOptions::MaxSignalTimeoutMs);
    ui->spinBox_silencethreshold->setRange(MeterChoices::MinThresholdDb, MeterChoices::MaxThresholdDb);
    ui->spinBox_silencedelay->setRange(MeterChoices::MinDelayS, MeterChoices::MaxDelayS);
    for (int id = 0; id < MeterScale::Count; ++id)
        ui->comboBox_scale->addItem(tr(MeterScale::of(MeterScale::Id(id)).name));

    ui->checkBox_fullscreen->setChecked(options.fullScreen);
    ui->spinBox_hidecursor->setValue(options.hideCursorSeconds);
    ui->checkBox_keepawake->setChecked(options.keepScreenAwake);
    ui->checkBox_autostart->setChecked(options.startAtLogin);
    ui->checkBox_pixelshift->setChecked(options.pixelShift);
    ui->label_signaltimeout->setVisible(offersSignalTimeout);
    ui->spinBox_signaltimeout->setVisible(offersSignalTimeout);
    if (offersSignalTimeout)
        ui->spinBox_signaltimeout->setValue(*options.signalTimeoutMs);
    // The form enables the threshold and the delay while the alarm is checked.
    ui->groupBox_metering->setVisible(offersMetering);
    if (offersMetering) {
        const MeterChoices &metering = *options.metering;
        ui->checkBox_peakhold->setChecked(metering.peakHold);
        ui->checkBox_over->setChecked(metering.overIndicator);
        ui->checkBox_silencealarm->setChecked(metering.silenceAlarm);
        ui->spinBox_silencethreshold->setValue(metering.silenceThresholdDb);
        givenThresholdDb = metering.silenceThresholdDb;
        shownThresholdDb = ui->spinBox_silencethreshold->value();
        ui->spinBox_silencedelay->setValue(metering.silenceDelayS);
        ui->comboBox_scale->setCurrentIndex(metering.scale);
    }
}

CDisplayOptions::~CDisplayOptions()
{
    delete ui;
}

DisplayOptions CDisplayOptions::options() const
{
    DisplayOptions chosen;
    chosen.fullScreen = ui->checkBox_fullscreen->isChecked();
    chosen.hideCursorSeconds = ui->spinBox_hidecursor->value();
    chosen.keepScreenAwake = ui->checkBox_keepawake->isChecked();
    chosen.startAtLogin = ui->checkBox_autostart->isChecked();
    chosen.pixelShift = ui->checkBox_pixelshift->isChecked();
    if (offersSignalTimeout)
        chosen.signalTimeoutMs = ui->spinBox_signaltimeout->value();
    if (offersMetering) {
        MeterChoices metering;
        metering.peakHold = ui->checkBox_peakhold->isChecked();
        metering.overIndicator = ui->checkBox_over->isChecked();
        metering.silenceAlarm = ui->checkBox_silencealarm->isChecked();
        // Shown in tenths: a finer stored value stays as it is unless the box was changed.
        const double threshold = ui->spinBox_silencethreshold->value();
        metering.silenceThresholdDb = threshold == shownThresholdDb ? givenThresholdDb : threshold;
        metering.silenceDelayS = ui->spinBox_silencedelay->value();
        metering.scale = MeterScale::Id(ui->comboBox_scale->currentIndex());
        chosen.metering = metering;
    }
    if (offersWeb) {
        const QString bind = ui->lineEdit_webbind->text().trimmed();
        chosen.web = WebChoices{ui->spinBox_webport->value(), bind.isEmpty() ? WebChoices().bind : bind};
    }
    return chosen;
}

void CDisplayOptions::on_pushButton_ok_clicked()
{
    accept();
}

void CDisplayOptions::on_pushButton_cancel_clicked()
{
    reject();
}
