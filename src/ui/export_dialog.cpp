#include "ui/export_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

TfrmExportDialog::TfrmExportDialog(QWidget* parent, const QString& caption, int maximum) : QDialog(parent)
{
    setObjectName("frmExportDialog");
    setWindowTitle(caption);
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 6);
    lblSound = new QLabel(this);
    lblSound->setObjectName("lblSound");
    column->addWidget(lblSound);
    Progress = new QProgressBar(this);
    Progress->setObjectName("Progress");
    Progress->setAccessibleName(caption);
    Progress->setRange(0, std::max(maximum, 0));
    Progress->setValue(0);
    Progress->setFormat(QStringLiteral("%p%"));
    Progress->setTextVisible(true);
    column->addWidget(Progress);
    setFixedSize(287, 55);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmExportDialog::Step(int position, const QString& name)
{
    lblSound->setText(name);
    Progress->setValue(position);
    repaint();
}
