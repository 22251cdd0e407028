#pragma once

#include "uHelpFile.h"

#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>

class QTreeWidget;
class QTreeWidgetItem;

// The help window: the contents of a compiled help file beside its topics.
class THelpViewer : public QWidget
{
    Q_OBJECT
public:
    // Takes an opened help file.
    explicit THelpViewer(std::unique_ptr<platform::THelpFile> file, QWidget* parent = nullptr);
    ~THelpViewer() override;

    // Shows a topic ("designer.html"); false when the file does not hold it.
    bool showTopic(const QString& topic);
    QString currentTopic() const;
    const platform::THelpFile& file() const { return *m_file; }

    QTreeWidget* tvContents;
    QTextBrowser* htmlTopic;

private:
    void fillContents(QTreeWidgetItem* parent, const QList<platform::HelpTopic>& topics);
    void selectInContents(const QString& topic);
    std::unique_ptr<platform::THelpFile> m_file;
};

// Routes the program's help requests to the help window: the contents, or a numbered
// help context. Other parts ask for help by opening a "quillory-help:" address with
// QDesktopServices::openUrl: "quillory-help:contents" or "quillory-help:context/100".
// One router at a time receives them (the newest). A help file that is missing or
// cannot be read shows nothing.
class THelpRouter : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kUrlScheme = "quillory-help";
    // Looked for inside the help file for pop-up texts.
    static constexpr const char* kPopupFile = "CSHelp.txt";

    explicit THelpRouter(QObject* owner = nullptr);
    ~THelpRouter() override;

    QString HelpFile() const { return m_helpFile; }
    void setHelpFile(const QString& file);
    // The help file's pop-up topics file: help file + "::/" + "CSHelp.txt".
    QString PopupTopicsFile() const;

    // True when help was shown.
    bool HelpContents();
    bool HelpContext(int context);
    THelpViewer* viewer() const { return m_viewer; }

public slots:
    // The handler of "quillory-help:" addresses.
    void openHelpUrl(const QUrl& url);

private:
    THelpViewer* ensureViewer();

    QString m_helpFile;
    QPointer<THelpViewer> m_viewer;
};
