#include "displayoptions.h"
#include "ui_displayoptions.h"

CDisplayOptions::CDisplayOptions(QWidget *parent, const DisplayOptions &options)
    : QDialog(parent), ui(new Ui::CDisplayOptions), offersSignalTimeout(options.signalTimeoutMs.has_value())
{
    ui->setupUi(this);
    ui->spinBox_hidecursor->setRange(0, DisplayOptions::MaxHideCursorSeconds);
    ui->spinBox_signaltimeout->setRange(DisplayOptions::MinSignalTimeoutMs,
                                        DisplayOptions::MaxSignalTimeoutMs);

    ui->checkBox_fullscreen->setChecked(options.fullScreen);
    ui->spinBox_hidecursor->setValue(options.hideCursorSeconds);
    ui->checkBox_keepawake->setChecked(options.keepScreenAwake);
    ui->checkBox_autostart->setChecked(options.startAtLogin);
    ui->label_signaltimeout->setVisible(offersSignalTimeout);
    ui->spinBox_signaltimeout->setVisible(offersSignalTimeout);
    if (offersSignalTimeout)
        ui->spinBox_signaltimeout->setValue(*options.signalTimeoutMs);
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
    if (offersSignalTimeout)
        chosen.signalTimeoutMs = ui->spinBox_signaltimeout->value();
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
