// The help topics and their window: every context reaches its own topic and
// no link in the compiled-in help leads nowhere.
#include "app/help_router.h"

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>

namespace {

// What the user must find for each context.
const std::map<int, QString> kExpectedTitles = {
    {90, "The Titles List"},       {100, "The Sample Library"}, {130, "The Frequency Page"},
    {140, "The Frequency Slider"}, {145, "Repeating a Sample"}, {150, "The Location Page"},
    {160, "Motion Patterns"},
};

QString ReadResource(const QUrl& url)
{
    QFile file(':' + url.path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList LinksOf(const QString& html)
{
    static const QRegularExpression href(R"re(href\s*=\s*"([^"]*)")re", QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    for (auto it = href.globalMatch(html); it.hasNext();)
        links << it.next().captured(1);
    return links;
}

} // namespace

TEST(HelpRouter, EveryContextOpensItsOwnTopicInOneWindow)
{
    QWidget owner;
    THelpRouter router(&owner);
    QWidget* window = router.Window();
    for (const auto& [context, title] : kExpectedTitles) {
        SCOPED_TRACE(context);
        EXPECT_TRUE(router.ShowContext(context));
        EXPECT_EQ(router.CurrentTopicTitle(), title);
        EXPECT_EQ(router.Window(), window);
    }
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->windowTitle(), "Ambitone Help");
}

TEST(HelpRouter, UnknownContextShowsContents)
{
    QWidget owner;
    THelpRouter router(&owner);
    for (int context : {0, 1, 99, 141, -90}) {
        SCOPED_TRACE(context);
        router.ShowContext(140);
        EXPECT_TRUE(router.TopicFor(context).isEmpty());
        EXPECT_FALSE(router.ShowContext(context));
        EXPECT_EQ(router.CurrentTopicTitle(), "Ambitone Help");
    }
}

TEST(HelpRouter, EveryLinkResolvesAndContentsListsEveryTopic)
{
    THelpRouter router(nullptr);
    const QUrl contents(THelpRouter::ContentsTopic());
    const QStringList contentsLinks = LinksOf(ReadResource(contents));
    QList<QUrl> topics{contents};
    for (const auto& entry : kExpectedTitles) {
        const QUrl topic(router.TopicFor(entry.first));
        EXPECT_FALSE(topics.contains(topic)) << "two contexts share " << topic.toString().toStdString();
        EXPECT_TRUE(contentsLinks.contains(topic.fileName())) << topic.toString().toStdString();
        topics << topic;
    }
    for (const QUrl& topic : topics) {
        SCOPED_TRACE(topic.toString().toStdString());
        const QString html = ReadResource(topic);
        ASSERT_FALSE(html.isEmpty());
        if (topic != contents) {
            EXPECT_TRUE(LinksOf(html).contains("index.html")) << "every topic leads back";
        }
        for (const QString& link : LinksOf(html)) {
            const QUrl target = topic.resolved(QUrl(link));
            EXPECT_EQ(target.scheme(), "qrc") << link.toStdString();
            EXPECT_TRUE(QFile::exists(':' + target.path())) << link.toStdString();
        }
    }
}

TEST(HelpRouter, LinksAndButtonsNavigate)
{
    THelpRouter router(nullptr);
    router.ShowContents();
    auto* browser = router.Window()->findChild<QTextBrowser*>();
    auto* contents = router.Window()->findChild<QPushButton*>("contentsButton");
    auto* back = router.Window()->findChild<QPushButton*>("backButton");
    ASSERT_TRUE(browser && contents && back);
    // Following a link the way a click does: relative to the page shown.
    browser->setSource(browser->source().resolved(QUrl("repeat.html")));
    EXPECT_EQ(router.CurrentTopicTitle(), "Repeating a Sample");
    contents->click();
    EXPECT_EQ(router.CurrentTopicTitle(), "Ambitone Help");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(router.CurrentTopicTitle(), "Repeating a Sample");
}

TEST(HelpRouter, FindHelpContextWalksUpTheParents)
{
    QWidget top;
    auto* page = new QWidget(&top);
    auto* row = new QWidget(page);
    auto* slider = new QWidget(row);
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 0);
    EXPECT_EQ(THelpRouter::FindHelpContext(nullptr), 0);
    top.setProperty("helpContext", 90);
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 90);
    page->setProperty("helpContext", 130);
    row->setProperty("helpContext", 0); // no context: the walk goes on past it
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 130);
    slider->setProperty("helpContext", 140);
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 140);
}
