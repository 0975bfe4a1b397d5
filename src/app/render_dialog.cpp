#include "app/render_dialog.h"

#include "app/frm_main.h"
#include "audio/ds_mixer.h"
#include "audio/sound_services.h"
#include "render/scheme_render.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "ui/accessible.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList kExtensions = {QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("ogg")};

// Black and lime like the window around it.
const char* const kDialogStyle = R"(
QDialog#frmRenderDialog { background: black; }
QLabel, QCheckBox { color: lime; }
QLineEdit, QSpinBox { background: black; color: lime; border: 1px solid #1f5f1f; padding: 1px 4px; }
QLineEdit:focus, QSpinBox:focus { border-color: #3f9f3f; }
QLineEdit:disabled, QSpinBox:disabled, QCheckBox:disabled { color: #2f6f2f; }
QPushButton {
    color: lime; background: #101010; border: 1px solid #3f9f3f; padding: 3px 12px; min-width: 60px;
}
QPushButton:default { border-color: lime; }
QPushButton:disabled { color: #2f6f2f; border-color: #1f3f1f; }
QProgressBar { background: black; color: lime; border: 1px solid #3f9f3f; text-align: center; }
QProgressBar::chunk { background: #008000; }
)";

// A form label that moves the focus to its field on Alt and the letter.
QLabel* Buddy(const QString& text, QWidget* field)
{
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    return label;
}

constexpr int kLongestMinutes = static_cast<int>(kLongestRenderSeconds) / 60;

} // namespace

TfrmRenderDialog::TfrmRenderDialog(QWidget* parent, IPrompts& prompts, TRenderRequest request)
    : QDialog(parent), m_prompts(prompts), m_request(std::move(request))
{
    setObjectName("frmRenderDialog");
    setWindowTitle(QStringLiteral("Render to File"));
    setStyleSheet(QString::fromLatin1(WindowStyleSheet()) + QString::fromLatin1(kDialogStyle));

    edtFile = new QLineEdit(this);
    edtFile->setObjectName("edtFile");
    edtFile->setAccessibleName(QStringLiteral("File"));
    edtFile->setMinimumWidth(320);
    btnBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    btnBrowse->setObjectName("btnBrowse");
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edtFile, 1);
    fileRow->addWidget(btnBrowse);

    // Minutes and seconds: both typed as plain numbers, one loop to start.
    edtMinutes = new QSpinBox(this);
    edtMinutes->setObjectName("edtMinutes");
    edtMinutes->setAccessibleName(QStringLiteral("Length, minutes"));
    edtMinutes->setRange(0, kLongestMinutes);
    edtMinutes->setSuffix(QStringLiteral(" min"));
    edtSeconds = new QSpinBox(this);
    edtSeconds->setObjectName("edtSeconds");
    edtSeconds->setAccessibleName(QStringLiteral("Length, seconds"));
    edtSeconds->setRange(0, 59);
    edtSeconds->setSuffix(QStringLiteral(" s"));
    // Ten hours is the end: no seconds beyond it.
    connect(edtMinutes, &QSpinBox::valueChanged, this,
            [this](int minutes) { edtSeconds->setMaximum(minutes >= kLongestMinutes ? 0 : 59); });
    SetLengthSeconds(m_request.LoopLength);
    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(edtMinutes);
    lengthRow->addWidget(edtSeconds);
    lengthRow->addWidget(new QLabel(QStringLiteral("one loop unless you choose otherwise; at most 10 hours"), this), 1);

    chkHeadphones = new QCheckBox(QStringLiteral("Headphones (3D audio)"), this);
    chkHeadphones->setObjectName("chkHeadphones");
    chkHeadphones->setChecked(m_request.Headphones);

    Progress = new QProgressBar(this);
    Progress->setObjectName("Progress");
    Progress->setAccessibleName(QStringLiteral("Render progress"));
    Progress->setRange(0, 1000);
    Progress->setValue(0);
    Progress->setTextVisible(true);
    Progress->setFormat(QStringLiteral("%p%"));
    lblStatus = new QLabel(QStringLiteral("WAV, FLAC or Ogg Vorbis, by the file's extension."), this);
    lblStatus->setObjectName("lblStatus");

    btnRender = new QPushButton(QStringLiteral("Render"), this);
    btnRender->setObjectName("btnRender");
    btnRender->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnRender, QDialogButtonBox::ActionRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Scheme:"), new QLabel(m_request.Title, this));
    form->addRow(Buddy(QStringLiteral("&File:"), edtFile), fileRow);
    form->addRow(Buddy(QStringLiteral("&Length:"), edtMinutes), lengthRow);
    form->addRow(QString(), chkHeadphones);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(Progress);
    column->addWidget(lblStatus);
    column->addWidget(buttons);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, &TfrmRenderDialog::ShowProgress);
    connect(btnBrowse, &QPushButton::clicked, this, &TfrmRenderDialog::btnBrowseClick);
    connect(btnRender, &QPushButton::clicked, this, &TfrmRenderDialog::btnRenderClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmRenderDialog::btnCancelClick);
    NameControls(this);
}

TfrmRenderDialog::~TfrmRenderDialog()
{
    // A render still running is given up (its file with it) and waited
    // for: it writes into this dialog's members.
    if (m_worker) {
        m_cancel = true;
        m_worker->wait();
        delete m_worker;
    }
}

int TfrmRenderDialog::LengthSeconds() const
{
    return edtMinutes->value() * 60 + edtSeconds->value();
}

void TfrmRenderDialog::SetLengthSeconds(int seconds)
{
    seconds = std::clamp(seconds, 1, static_cast<int>(kLongestRenderSeconds));
    edtMinutes->setValue(seconds / 60);
    edtSeconds->setValue(seconds % 60);
}

QString TfrmRenderDialog::FilePath() const
{
    return edtFile->text().trimmed();
}

void TfrmRenderDialog::btnBrowseClick()
{
    TFileDialogOptions options = FileDialogOptions(
        QStringLiteral("Render to File"), QStringLiteral("Sound files (*.flac *.wav *.ogg)"), QStringLiteral("flac"));
    options.FileName = FilePath().isEmpty() ? m_request.Title : FilePath();
    const QString path = m_prompts.SaveFileName(options);
    if (!path.isEmpty())
        edtFile->setText(path);
}

void TfrmRenderDialog::btnRenderClick()
{
    if (m_worker)
        return;
    const QString path = FilePath();
    if (path.isEmpty()) {
        m_prompts.ShowWarning(QStringLiteral("Choose the file to render to."));
        return;
    }
    if (!kExtensions.contains(QFileInfo(path).suffix().toLower())) {
        m_prompts.ShowWarning(
            QStringLiteral("\"%1\" is not a sound file this program writes: name it .flac, .wav or .ogg.").arg(path));
        return;
    }
    // A name typed by hand may be a file that is there already.
    if (QFileInfo::exists(path) &&
        !m_prompts.Confirm(QStringLiteral("\"%1\" already exists. Replace it?").arg(path)))
        return;
    const int seconds = LengthSeconds();
    if (seconds < 1) {
        m_prompts.ShowWarning(QStringLiteral("Choose a length of at least one second."));
        return;
    }
    TSchemeRenderOptions options;
    options.DataDir = m_request.DataDirectory;
    options.SchemeNo = m_request.SchemeNo;
    options.Title = m_request.Title.toStdString();
    options.Out = path.toStdString();
    options.Seconds = seconds;
    // The random choices start from the time of day, as they do live.
    options.StartMs = QDateTime::currentDateTimeUtc().time().msecsSinceStartOfDay();
    options.Headphones = chkHeadphones->isChecked();
    options.Cancel = &m_cancel;
    options.OnProgress = [this](double done) { m_permille = static_cast<int>(done * 1000); };
    m_cancel = false;
    m_permille = 0;
    m_error.clear();
    m_outcome = TOutcome::Failed;
    // What the worker did, not what was pressed: a Cancel that came while
    // the last second was being written leaves a finished file.
    m_worker = QThread::create([this, options] {
        try {
            RenderScheme(options);
            m_outcome = TOutcome::Done;
        } catch (const ERenderCancelled&) {
            m_outcome = TOutcome::Cancelled;
        } catch (const std::exception& error) {
            m_error = error.what();
        } catch (...) {
            m_error = "The render failed for a reason it could not name.";
        }
    });
    connect(m_worker, &QThread::finished, this, &TfrmRenderDialog::Finished);
    SetChoicesEnabled(false);
    lblStatus->setText(QStringLiteral("Rendering %1...").arg(QFileInfo(path).fileName()));
    m_progressTimer->start();
    m_worker->start(QThread::LowPriority);
}

void TfrmRenderDialog::SetChoicesEnabled(bool enabled)
{
    for (QWidget* control :
         std::initializer_list<QWidget*>{edtFile, btnBrowse, edtMinutes, edtSeconds, chkHeadphones, btnRender})
        control->setEnabled(enabled);
}

void TfrmRenderDialog::btnCancelClick()
{
    if (!m_worker) {
        QDialog::reject();
        return;
    }
    m_cancel = true;
    lblStatus->setText(QStringLiteral("Cancelling..."));
}

void TfrmRenderDialog::reject()
{
    // Escape and the close box cancel a running render first.
    btnCancelClick();
}

void TfrmRenderDialog::ShowProgress()
{
    Progress->setValue(m_permille);
}

void TfrmRenderDialog::Finished()
{
    m_progressTimer->stop();
    m_worker->deleteLater();
    m_worker = nullptr;
    ShowProgress();
    SetChoicesEnabled(true);
    if (m_outcome == TOutcome::Cancelled) {
        Progress->setValue(0);
        lblStatus->setText(QStringLiteral("Render cancelled; no file was written."));
        return;
    }
    if (m_outcome == TOutcome::Failed) {
        Progress->setValue(0);
        lblStatus->setText(QStringLiteral("The render failed."));
        m_prompts.ShowError(QString::fromStdString(m_error));
        return;
    }
    accept();
}

// ---- the window's command

void TfrmMain::RenderToFileExecute()
{
    if (m_schemeList->OpenSchemeIndex() < 0)
        return;
    // The render reads the store: the open scheme is written back first,
    // with every setting as the rows show it.
    m_schemePanel->WriteBack();
    TRenderRequest request;
    request.DataDirectory = m_dataDirectory;
    request.SchemeNo = m_schemeList->SelectedSchemeBookmark().RecordNo;
    request.Title = m_schemeList->SelectedSchemeTitle();
    request.LoopLength = m_schemePanel->Scheduler().LoopLength();
    request.Headphones = m_sound->WaveMixer() && m_sound->WaveMixer()->Headphones();
    TfrmRenderDialog dialog(this, *m_prompts, request);
    if (m_prompts->ExecDialog(dialog) == QDialog::Accepted)
        statusBar()->showMessage(QStringLiteral("Rendered \"%1\" to %2").arg(request.Title, dialog.FilePath()));
}
