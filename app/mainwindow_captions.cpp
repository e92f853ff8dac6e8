#include "mainwindow.h"

#include "mylabel.h"
#include "settingswriter.h"
#include "webview.h"

#include <QInputDialog>

void MainWindow::labelMeter1Clicked()
{
    editCaption(labelMeter1, QT_TR_NOOP("Meter 1 label:"));
}

void MainWindow::labelMeter2Clicked()
{
    editCaption(labelMeter2, QT_TR_NOOP("Meter 2 label:"));
}

void MainWindow::labelMeter3Clicked()
{
    editCaption(labelMeter3, QT_TR_NOOP("Meter 3 label:"));
}

void MainWindow::editCaption(myLabel *caption, const char *prompt)
{
    const QString current = caption->text();
    bool accepted = false;
    const QString text = QInputDialog::getText(this, tr("Vondrel"), tr(prompt), QLineEdit::Normal, current,
                                               &accepted, Qt::WindowFlags(), Qt::ImhNone);
    // An empty answer keeps the old caption, as a cancelled dialog does.
    if (!accepted || text.isEmpty())
        return;
    caption->setText(text);
    webView->lookChanged();
    settingsWriter->write();
}
