#include "uTokenList.h"

TTokenList::TTokenList(QChar delimiter, const QString& text) : m_tokenDelimiter(delimiter)
{
    SplitText(text);
}

void TTokenList::SplitText(const QString& text)
{
    clear();
    qsizetype start = 0;
    for (qsizetype pos = text.indexOf(m_tokenDelimiter); pos >= 0;
         pos = text.indexOf(m_tokenDelimiter, start)) {
        append(text.mid(start, pos - start));
        start = pos + 1;
    }
    if (start < text.size())
        append(text.mid(start));
}

QString TTokenList::JoinText() const
{
    return join(m_tokenDelimiter);
}

qsizetype TTokenList::IndexOfName(const QString& name) const
{
    for (qsizetype i = 0; i < size(); ++i) {
        const QString& item = at(i);
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(item).left(eq).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TTokenList::Value(const QString& name) const
{
    const qsizetype i = IndexOfName(name);
    if (i < 0)
        return {};
    const QString& item = at(i);
    return item.mid(item.indexOf(QLatin1Char('=')) + 1);
}

void TTokenList::SetValue(const QString& name, const QString& value)
{
    const qsizetype i = IndexOfName(name);
    if (value.isEmpty()) {
        if (i >= 0)
            removeAt(i);
        return;
    }
    const QString item = name + QLatin1Char('=') + value;
    if (i >= 0)
        replace(i, item);
    else
        append(item);
}
