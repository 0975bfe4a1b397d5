#include "app/about_box.h"

#include "ui/accessible.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Ambitone"));
    setModal(true);

    // The panel wears the LED colours of the main window; the dialog around
    // it keeps the desktop's own look.
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setAutoFillBackground(true);
    QPalette led = panel->palette();
    led.setColor(QPalette::Window, Qt::black);
    led.setColor(QPalette::WindowText, QColor(0, 255, 0));
    panel->setPalette(led);

    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral("0.1");

    auto* name = new QLabel(QStringLiteral("Ambitone"), panel);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    name->setFont(big);
    auto* versionLabel = new QLabel(QStringLiteral("Version %1").arg(version), panel);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    auto* what = new QLabel(QStringLiteral("Composes and plays ambient sound scenes: samples placed "
                                           "around the listener, each firing at its own frequency "
                                           "inside a repeating loop."),
                            panel);
    what->setWordWrap(true);
    for (QLabel* label : {name, versionLabel, what})
        label->setAlignment(Qt::AlignCenter);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(24, 18, 24, 18);
    panelLayout->setSpacing(8);
    panelLayout->addWidget(name);
    panelLayout->addWidget(versionLabel);
    panelLayout->addWidget(what);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(buttons);
    setFixedWidth(360);
    NameControls(this);
}
