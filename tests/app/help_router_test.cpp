// The help topics and their window: every context reaches its own topic and
// no link in the compiled-in help leads nowhere.
#include "app/help_router.h"

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>

namespace {

// What the user must find for each context.
const std::map<int, QString> kExpectedTitles = {
    {90, "The Titles List"},
    {100, "The Sample Library"},
    {130, "The Frequency Page"},
    {140, "The Frequency Slider"},
    {145, "Repeating a Sample"},
    {150, "The Location Page"},
    {160, "Motion Patterns"},
};

QString ResourcePath(const QString& url)
{
    return QLatin1Char(':') + QUrl(url).path();
}

QString ReadTopic(const QString& url)
{
    QFile file(ResourcePath(url));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList TopicUrls(const THelpRouter& router)
{
    QStringList urls{THelpRouter::ContentsTopic()};
    for (const auto& entry : kExpectedTitles)
        urls << router.TopicFor(entry.first);
    return urls;
}

QStringList LinksOf(const QString& html)
{
    QStringList links;
    static const QRegularExpression href(QStringLiteral("href\\s*=\\s*\"([^\"]*)\""),
                                         QRegularExpression::CaseInsensitiveOption);
    for (auto it = href.globalMatch(html); it.hasNext();)
        links << it.next().captured(1);
    return links;
}

} // namespace

TEST(HelpRouter, EveryContextOpensItsOwnTopic)
{
    QWidget owner;
    THelpRouter router(&owner);
    for (const auto& [context, title] : kExpectedTitles) {
        SCOPED_TRACE(context);
        EXPECT_TRUE(router.ShowContext(context));
        EXPECT_EQ(router.CurrentTopicTitle(), title);
        EXPECT_TRUE(router.Window()->isVisible());
        EXPECT_FALSE(router.Window()->isModal());
        EXPECT_EQ(router.Window()->windowTitle(), "Ambitone Help");
    }
}

TEST(HelpRouter, UnknownContextFallsBackToContents)
{
    QWidget owner;
    THelpRouter router(&owner);
    router.ShowContext(140);
    for (int context : {0, 1, 99, 141, -90}) {
        SCOPED_TRACE(context);
        EXPECT_TRUE(router.TopicFor(context).isEmpty());
        EXPECT_FALSE(router.ShowContext(context));
        EXPECT_EQ(router.CurrentTopicTitle(), "Ambitone Help");
        router.ShowContext(140);
    }
}

TEST(HelpRouter, TopicsExistAndAreDistinct)
{
    QWidget owner;
    THelpRouter router(&owner);
    QStringList seen;
    for (const QString& url : TopicUrls(router)) {
        SCOPED_TRACE(url.toStdString());
        EXPECT_TRUE(url.startsWith("qrc:/help/"));
        EXPECT_TRUE(QFile::exists(ResourcePath(url)));
        EXPECT_FALSE(seen.contains(url));
        seen << url;
    }
}

TEST(HelpRouter, EveryLinkResolvesAndContentsListsEveryTopic)
{
    QWidget owner;
    THelpRouter router(&owner);
    const QString contentsHtml = ReadTopic(THelpRouter::ContentsTopic());
    ASSERT_FALSE(contentsHtml.isEmpty());
    for (const QString& url : TopicUrls(router)) {
        SCOPED_TRACE(url.toStdString());
        const QString html = ReadTopic(url);
        ASSERT_FALSE(html.isEmpty());
        for (const QString& link : LinksOf(html)) {
            SCOPED_TRACE(link.toStdString());
            const QUrl target = QUrl(url).resolved(QUrl(link));
            EXPECT_EQ(target.scheme(), "qrc") << "help must not leave the program";
            EXPECT_TRUE(QFile::exists(QLatin1Char(':') + target.path()));
        }
        const QString file = QUrl(url).fileName();
        if (url != THelpRouter::ContentsTopic()) {
            EXPECT_TRUE(LinksOf(contentsHtml).contains(file));
            EXPECT_TRUE(LinksOf(html).contains("index.html")) << "every topic leads back";
        }
    }
}

TEST(HelpRouter, LinksAndContentsButtonNavigate)
{
    QWidget owner;
    THelpRouter router(&owner);
    router.ShowContents();
    auto* browser = router.Window()->findChild<QTextBrowser*>();
    ASSERT_NE(browser, nullptr);
    // Following a link the way a click does: relative to the page shown.
    browser->setSource(browser->source().resolved(QUrl("repeat.html")));
    EXPECT_EQ(router.CurrentTopicTitle(), "Repeating a Sample");

    auto* contents = router.Window()->findChild<QPushButton*>("contentsButton");
    ASSERT_NE(contents, nullptr);
    contents->click();
    EXPECT_EQ(router.CurrentTopicTitle(), "Ambitone Help");

    auto* back = router.Window()->findChild<QPushButton*>("backButton");
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(router.CurrentTopicTitle(), "Repeating a Sample");
}

TEST(HelpRouter, OneWindowServesEveryTopic)
{
    QWidget owner;
    THelpRouter router(&owner);
    router.ShowContext(90);
    QWidget* window = router.Window();
    router.ShowContext(160);
    EXPECT_EQ(router.Window(), window);
    EXPECT_EQ(owner.findChildren<QTextBrowser*>().size(), 1);
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
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 130);
    // A zero on the way is no context: the walk goes on past it.
    row->setProperty("helpContext", 0);
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 130);
    slider->setProperty("helpContext", 140);
    EXPECT_EQ(THelpRouter::FindHelpContext(slider), 140);
    EXPECT_EQ(THelpRouter::FindHelpContext(row), 130);
}

TEST(HelpRouter, WorksWithoutAnOwner)
{
    THelpRouter router(nullptr);
    EXPECT_TRUE(router.ShowContext(150));
    EXPECT_EQ(router.CurrentTopicTitle(), "The Location Page");
}
