#include "app/help_router.h"

#include "ui/accessible.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>

#include <array>
#include <utility>

// The resources live in a static library: nothing would pull their object
// file into the program unless it is named, and the macro must stand outside
// any namespace.
static void InitHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace {

const std::array<std::pair<int, const char*>, 7> kTopics = {{
    {hcTitles, "titles.html"},
    {hcSampleLibrary, "samples.html"},
    {hcFrequencyPage, "frequency_page.html"},
    {hcFrequencySlider, "frequency_slider.html"},
    {hcRepeatDialog, "repeat.html"},
    {hcLocationPage, "location_page.html"},
    {hcPatternDialog, "patterns.html"},
}};

QString TopicUrl(const char* file)
{
    return QStringLiteral("qrc:/help/") + QLatin1String(file);
}

} // namespace

THelpRouter::THelpRouter(QWidget* owner) : QObject(owner), m_owner(owner)
{
    InitHelpResources();
}

THelpRouter::~THelpRouter()
{
    // Owned by the owner window when there is one; otherwise by us.
    if (!m_owner)
        delete m_window.data();
}

QString THelpRouter::ContentsTopic()
{
    return TopicUrl("index.html");
}

void THelpRouter::ShowContents()
{
    ShowTopic(ContentsTopic());
}

bool THelpRouter::ShowContext(int helpContext)
{
    const QString topic = TopicFor(helpContext);
    if (topic.isEmpty()) {
        ShowContents();
        return false;
    }
    ShowTopic(topic);
    return true;
}

QString THelpRouter::TopicFor(int helpContext) const
{
    for (const auto& [context, file] : kTopics) {
        if (context == helpContext)
            return TopicUrl(file);
    }
    return {};
}

QWidget* THelpRouter::Window()
{
    if (m_window)
        return m_window;

    auto* dialog = new QDialog(m_owner);
    dialog->setWindowTitle(QStringLiteral("Ambitone Help"));
    dialog->setModal(false);
    dialog->setSizeGripEnabled(true);
    dialog->resize(560, 480);

    m_browser = new QTextBrowser(dialog);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help topic"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    // Help reads best black on white whatever the desktop theme.
    QPalette paper = m_browser->palette();
    paper.setColor(QPalette::Base, Qt::white);
    paper.setColor(QPalette::Text, Qt::black);
    m_browser->setPalette(paper);

    auto* contents = new QPushButton(QStringLiteral("&Contents"), dialog);
    auto* back = new QPushButton(QStringLiteral("&Back"), dialog);
    auto* forward = new QPushButton(QStringLiteral("&Forward"), dialog);
    auto* close = new QPushButton(QStringLiteral("Close"), dialog);
    back->setEnabled(false);
    forward->setEnabled(false);
    contents->setObjectName(QStringLiteral("contentsButton"));
    back->setObjectName(QStringLiteral("backButton"));
    forward->setObjectName(QStringLiteral("forwardButton"));
    connect(contents, &QPushButton::clicked, this, &THelpRouter::ShowContents);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(close, &QPushButton::clicked, dialog, &QDialog::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);
    close->setObjectName(QStringLiteral("closeButton"));
    NameControls(dialog);

    m_window = dialog;
    return dialog;
}

QString THelpRouter::CurrentTopicTitle() const
{
    return m_window && m_browser ? m_browser->documentTitle() : QString();
}

void THelpRouter::ShowTopic(const QString& url)
{
    QWidget* window = Window();
    m_browser->setSource(QUrl(url));
    window->show();
    window->raise();
    window->activateWindow();
}

int THelpRouter::FindHelpContext(QWidget* w)
{
    for (; w; w = w->parentWidget()) {
        const int context = w->property("helpContext").toInt();
        if (context != 0)
            return context;
    }
    return 0;
}
