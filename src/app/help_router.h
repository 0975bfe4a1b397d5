#pragma once
// The help topics compiled into the program (help/help.qrc, under /help) and
// the one non-modal window that shows them.
//
// Contract: the main window owns one THelpRouter and uses it on the
// user-interface thread only. It sets the dynamic int property "helpContext"
// on its controls and, on F1, calls ShowContext(FindHelpContext(focused)).
// The help window is made on first use, stays open beside the main window
// and is reused for every later topic. Nothing throws.

#include <QObject>
#include <QPointer>
#include <QString>

class QTextBrowser;
class QWidget;

// The help contexts the controls carry.
enum THelpContext : int {
    hcNone = 0,
    hcTitles = 90,
    hcSampleLibrary = 100,
    hcFrequencyPage = 130,
    hcFrequencySlider = 140,
    hcRepeatDialog = 145,
    hcLocationPage = 150,
    hcPatternDialog = 160,
};

class THelpRouter : public QObject {
    Q_OBJECT
public:
    explicit THelpRouter(QWidget* owner);
    ~THelpRouter() override;

    // Shows the table of contents.
    void ShowContents();
    // Shows the topic of helpContext; for a context without a topic shows
    // the contents and returns false.
    bool ShowContext(int helpContext);
    // The topic's resource URL ("qrc:/help/....html"), empty when none.
    QString TopicFor(int helpContext) const;
    // The help window, made on first call.
    QWidget* Window();
    // The <title> of the topic on show, empty before anything was shown.
    QString CurrentTopicTitle() const;

    // The first non-zero "helpContext" property from w up through its
    // parents; 0 when none has one.
    static int FindHelpContext(QWidget* w);

    static QString ContentsTopic();

private:
    void ShowTopic(const QString& url);

    QWidget* m_owner = nullptr;
    QPointer<QWidget> m_window;
    QTextBrowser* m_browser = nullptr;
};
