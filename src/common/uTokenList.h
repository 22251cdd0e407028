#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// A string list split from, and joined to, one text of pieces separated by a single
// delimiter, with name/value access to items of the form name "=" value. Connection
// strings go through it, so splitting is literal: no trimming, no quoting, empty
// pieces kept (only one delimiter at the very end yields no empty last item).
class TTokenList : public QStringList
{
public:
    TTokenList(QChar delimiter, const QString& text);

    QChar TokenDelimiter() const { return m_tokenDelimiter; }

    // Replaces the items with the pieces of text.
    void SplitText(const QString& text);
    // The items with the delimiter between them; empty text for no items.
    QString JoinText() const;

    // Index of the first item whose name (the text before its first "=") equals name,
    // ignoring case; -1 when there is none. Items without "=" have no name.
    qsizetype IndexOfName(const QString& name) const;
    // The text after the "=" of the first item of that name; empty when there is none.
    QString Value(const QString& name) const;
    // A non-empty value replaces the first item of that name in place by name=value
    // (name as passed) or appends it; an empty value removes that item.
    void SetValue(const QString& name, const QString& value);

private:
    QChar m_tokenDelimiter;
};
