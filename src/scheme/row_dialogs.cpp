#include "scheme/row_dialogs.h"

#include "playback/playback_row.h"
#include "ui/accessible.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kPopupStyle = R"(
QWidget { background: black; color: lime; }
QGroupBox { border: 1px solid #1f5f1f; margin-top: 8px; padding-top: 4px; }
QGroupBox::title { subcontrol-origin: margin; left: 6px; }
QSpinBox { background: black; color: lime; border: 1px solid #3f9f3f; }
QToolButton { border: 1px solid #1f5f1f; }
)";

QButtonGroup* RadioGroup(QWidget* owner, QVBoxLayout* into, const char* name, const QString& caption,
                         const QStringList& items, int checked)
{
    auto* box = new QGroupBox(caption, owner);
    box->setObjectName(name);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(6, 2, 6, 2);
    column->setSpacing(0);
    auto* group = new QButtonGroup(owner);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setObjectName(QString::fromLatin1(name) + QString::number(i));
        group->addButton(radio, i);
        column->addWidget(radio);
    }
    if (QAbstractButton* button = group->button(checked))
        button->setChecked(true);
    into->addWidget(box);
    return group;
}

} // namespace

TRowPopup::TRowPopup(QWidget* owner, const QString& caption, int helpContext, QSize client)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(caption);
    setProperty("helpContext", helpContext);
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QString::fromLatin1(kPopupStyle));
    setFixedSize(client);
    CloseButton = new QToolButton(this);
    CloseButton->setObjectName("CloseButton");
    CloseButton->setText(QStringLiteral("x"));
    CloseButton->setAccessibleName(QStringLiteral("Close"));
    CloseButton->setFixedSize(13, 13);
    CloseButton->move(client.width() - 15, 2);
    connect(CloseButton, &QToolButton::clicked, this, &QWidget::close);
}

QVBoxLayout* TRowPopup::Content()
{
    // Below the close button's strip.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 14, 4, 4);
    layout->setSpacing(4);
    return layout;
}

bool TRowPopup::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate)
        close();
    return QWidget::event(event);
}

TfrmRepeatDialog::TfrmRepeatDialog(QWidget* owner, TPlaybackRow& record)
    : TRowPopup(owner, QStringLiteral("Repeat Play"), 145, QSize(136, 144)), m_record(record)
{
    setObjectName("frmRepeatDialog");
    QVBoxLayout* layout = Content();
    MethodGroup = RadioGroup(this, layout, "MethodGroup", QStringLiteral(" Method "),
                             {"No Repeat", "Normal", "Increment", "Decrement", "Randomize"}, record.RepeatMethod);
    auto* count = new QHBoxLayout;
    count->addWidget(new QLabel(QStringLiteral("Repeat count: "), this));
    RepeatCount = new QSpinBox(this);
    RepeatCount->setObjectName("RepeatCount");
    RepeatCount->setAccessibleName(QStringLiteral("Repeat count"));
    RepeatCount->setRange(0, 100);
    RepeatCount->setValue(record.RepeatCount);
    count->addWidget(RepeatCount);
    layout->addLayout(count);
    CloseButton->raise();
    NameControls(this);
}

void TfrmRepeatDialog::closeEvent(QCloseEvent* event)
{
    // The burst counters go on with the new values; a load sets them afresh.
    if (MethodGroup->checkedId() >= 0)
        m_record.RepeatMethod = MethodGroup->checkedId();
    m_record.RepeatCount = static_cast<uint16_t>(RepeatCount->value());
    TRowPopup::closeEvent(event);
}

TfrmSoundPattern::TfrmSoundPattern(QWidget* owner, TPlaybackRow& record)
    : TRowPopup(owner, QStringLiteral("Sound Pattern"), 160, QSize(139, 245)), m_record(record)
{
    setObjectName("frmSoundPattern");
    QVBoxLayout* layout = Content();
    PatternGroup = RadioGroup(this, layout, "PatternGroup", QStringLiteral(" Pattern "),
                              {"None", "Circle", "Pass from Behind", "Pass from Left"}, record.Pattern);
    SpeedGroup = RadioGroup(this, layout, "SpeedGroup", QStringLiteral(" Speed "),
                            {"Slow", "Medium", "Fast", "Faster", "Fastest"}, record.PatternSpeed);
    chkReverse = new QCheckBox(QStringLiteral("Reverse"), this);
    chkReverse->setObjectName("chkReverse");
    chkReverse->setChecked(record.ReversePattern);
    layout->addWidget(chkReverse);
    // Each choice takes effect at once; the motion follows at its next tick.
    connect(PatternGroup, &QButtonGroup::idClicked, this, [this](int id) { m_record.Pattern = id; });
    connect(SpeedGroup, &QButtonGroup::idClicked, this, [this](int id) { m_record.PatternSpeed = id; });
    connect(chkReverse, &QCheckBox::clicked, this, [this](bool on) { m_record.ReversePattern = on; });
    CloseButton->raise();
    NameControls(this);
}
