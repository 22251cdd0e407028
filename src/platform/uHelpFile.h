#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct chmFile;

// Reading a compiled HTML help file (.chm): its topics, its table of contents and the map
// from numbered help contexts to topics. chmlib is loaded on first use; where it cannot
// be loaded, or the file cannot be opened, the file reads as closed and every look-up
// gives empty results, so help simply shows nothing. Nothing here throws.
namespace platform {

struct HelpTopic
{
    QString name;  // the entry's title in the contents
    QString local; // the topic's path inside the file, as the contents give it
    QList<HelpTopic> children;
};

class THelpFile
{
public:
    THelpFile() = default;
    explicit THelpFile(const QString& path);
    ~THelpFile();
    THelpFile(const THelpFile&) = delete;
    THelpFile& operator=(const THelpFile&) = delete;

    // True when the help library is present on this machine.
    static bool libraryAvailable();

    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    QString path() const { return m_path; }

    // The object's bytes ("index.html" or "/index.html"); empty when it is missing.
    QByteArray read(const QString& name) const;
    bool contains(const QString& name) const;
    // Every object in the file, folders and internal objects ("#SYSTEM") left out.
    QStringList files() const;

    QString title() const { return m_title; }
    QString defaultTopic() const { return m_defaultTopic; }
    QString contentsFile() const { return m_contentsFile; }
    QList<HelpTopic> contents() const;
    // The topic of a numbered help context; empty when the file does not map the number.
    QString topicForContext(int context) const;

private:
    void readSystem();
    QString normalisedTopic(const QString& target) const;

    ::chmFile* m_file = nullptr;
    QString m_path;
    QString m_title;
    QString m_defaultTopic;
    QString m_contentsFile;
};

// The table of contents held in a sitemap file (.hhc): nested lists of entries.
QList<HelpTopic> ParseSitemap(const QString& html);

} // namespace platform
