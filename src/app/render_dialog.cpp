#include "app/render_dialog.h"

#include "app/frm_main.h"
#include "audio/ds_mixer.h"
#include "audio/sound_services.h"
#include "render/scheme_render.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "ui/accessible.h"
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
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QStringList kExtensions = {QStringLiteral("flac"), QStringLiteral("wav"), QStringLiteral("ogg")};

QTime LengthAsTime(int seconds)
{
    return QTime(0, 0).addSecs(std::clamp(seconds, 1, static_cast<int>(kLongestRenderSeconds)));
}

} // namespace

TfrmRenderDialog::TfrmRenderDialog(QWidget* parent, IPrompts& prompts, TRenderRequest request)
    : QDialog(parent), m_prompts(prompts), m_request(std::move(request))
{
    setObjectName("frmRenderDialog");
    setWindowTitle(QStringLiteral("Render to File"));

    edtFile = new QLineEdit(this);
    edtFile->setObjectName("edtFile");
    edtFile->setAccessibleName(QStringLiteral("File"));
    edtFile->setMinimumWidth(320);
    btnBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    btnBrowse->setObjectName("btnBrowse");
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edtFile, 1);
    fileRow->addWidget(btnBrowse);

    edtLength = new QTimeEdit(this);
    edtLength->setObjectName("edtLength");
    edtLength->setAccessibleName(QStringLiteral("Length"));
    edtLength->setDisplayFormat(QStringLiteral("H:mm:ss"));
    edtLength->setTimeRange(QTime(0, 0, 1), LengthAsTime(static_cast<int>(kLongestRenderSeconds)));
    edtLength->setTime(LengthAsTime(m_request.LoopLength));
    edtLength->setToolTip(QStringLiteral("One loop of the scheme unless you choose otherwise; at most 10 hours."));

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
    form->addRow(QStringLiteral("&File:"), fileRow);
    form->addRow(QStringLiteral("&Length:"), edtLength);
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
    if (m_worker) {
        m_cancel = true;
        m_worker->wait();
    }
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
    TSchemeRenderOptions options;
    options.DataDir = m_request.DataDirectory;
    options.SchemeNo = m_request.SchemeNo;
    options.Title = m_request.Title.toStdString();
    options.Out = path.toStdString();
    options.Seconds = QTime(0, 0).secsTo(edtLength->time());
    // The random choices start from the time of day, as they do live.
    options.StartMs = QDateTime::currentDateTimeUtc().time().msecsSinceStartOfDay();
    options.Headphones = chkHeadphones->isChecked();
    options.Cancel = &m_cancel;
    options.OnProgress = [this](double done) { m_permille = static_cast<int>(done * 1000); };
    m_cancel = false;
    m_cancelled = false;
    m_permille = 0;
    m_error.clear();
    m_worker = QThread::create([this, options] {
        try {
            RenderScheme(options);
        } catch (const ERenderCancelled&) {
        } catch (const std::exception& error) {
            m_error = error.what();
        }
    });
    connect(m_worker, &QThread::finished, this, &TfrmRenderDialog::Finished);
    for (QWidget* control : std::initializer_list<QWidget*>{edtFile, btnBrowse, edtLength, chkHeadphones, btnRender})
        control->setEnabled(false);
    lblStatus->setText(QStringLiteral("Rendering %1...").arg(QFileInfo(path).fileName()));
    m_progressTimer->start();
    m_worker->start(QThread::LowPriority);
}

void TfrmRenderDialog::btnCancelClick()
{
    if (!m_worker) {
        QDialog::reject();
        return;
    }
    m_cancelled = true;
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
    for (QWidget* control : std::initializer_list<QWidget*>{edtFile, btnBrowse, edtLength, chkHeadphones, btnRender})
        control->setEnabled(true);
    if (m_cancelled) {
        Progress->setValue(0);
        lblStatus->setText(QStringLiteral("Render cancelled; no file was written."));
        return;
    }
    if (!m_error.empty()) {
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
