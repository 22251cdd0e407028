#include "uDbAccessSql.h"
#include "uDateText.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QTime>

#include <cstdio>
#include <vector>

namespace {

enum class Kind
{
    Space,
    SingleQuoted, // 'text'
    DoubleQuoted, // "text": a string to Access, a name or a string to SQLite
    Bracketed,    // [name]
    Comment,
    DateLiteral, // #...# whose inside reads as a date or time
    Word,
    Number,
    Other
};

struct Token
{
    Kind kind;
    QString text;
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Reads up to the closing quote; a doubled quote stays inside. Unterminated: to the end.
qsizetype quotedEnd(const QString& s, qsizetype i, QChar quote)
{
    qsizetype j = i + 1;
    while (j < s.size()) {
        if (s[j] == quote) {
            if (j + 1 < s.size() && s[j + 1] == quote) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return s.size();
}

bool parseTimeOfDay(QString text, int& msecs)
{
    text = text.trimmed().toUpper();
    int pm = -1;
    if (text.endsWith(QLatin1String("AM")) || text.endsWith(QLatin1String("PM"))) {
        pm = text.endsWith(QLatin1String("PM")) ? 1 : 0;
        text.chop(2);
        text = text.trimmed();
    }
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    bool ok = false;
    int h = parts[0].toInt(&ok);
    if (!ok)
        return false;
    const int m = parts[1].toInt(&ok);
    if (!ok || parts[1].size() != 2)
        return false;
    int sec = 0;
    if (parts.size() == 3) {
        sec = parts[2].toInt(&ok);
        if (!ok || parts[2].size() != 2)
            return false;
    }
    if (pm >= 0) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (pm ? 12 : 0);
    }
    if (!QTime::isValid(h, m, sec))
        return false;
    msecs = ((h * 60 + m) * 60 + sec) * 1000;
    return true;
}

// The inside of #...#: "2004-01-31", "2004/01/31", "1/31/2004", "1/31/04", each with an
// optional time ("10:30", "10:30:15", "10:30 PM"), or a time alone.
bool parseDateLiteral(const QString& inside, qint64& julianDay, int& msecs)
{
    const QString text = inside.trimmed();
    msecs = 0;
    if (text.isEmpty())
        return false;
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    const QString datePart = blank < 0 ? text : text.left(blank);
    const QString timePart = blank < 0 ? QString() : text.mid(blank + 1);
    if (!datePart.contains(QLatin1Char('-')) && !datePart.contains(QLatin1Char('/'))) {
        // A time alone is a time on Access's day zero.
        if (!parseTimeOfDay(text, msecs))
            return false;
        julianDay = kJulianDayZero;
        return true;
    }
    const QChar sep = datePart.contains(QLatin1Char('-')) ? QLatin1Char('-') : QLatin1Char('/');
    const QStringList parts = datePart.split(sep);
    if (parts.size() != 3)
        return false;
    int n[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        n[i] = parts[i].toInt(&ok);
        if (!ok || parts[i].isEmpty() || parts[i].size() > 4)
            return false;
    }
    int y, mo, d;
    if (parts[0].size() == 4) { // year first
        y = n[0];
        mo = n[1];
        d = n[2];
    } else if (sep == QLatin1Char('/')) { // month/day/year, as Access reads # literals
        mo = n[0];
        d = n[1];
        y = n[2];
        if (parts[2].size() <= 2)
            y += y < 30 ? 2000 : 1900;
    } else {
        return false;
    }
    if (!QDate::isValid(y, mo, d) || y < 100)
        return false;
    julianDay = QDate(y, mo, d).toJulianDay();
    if (!timePart.trimmed().isEmpty() && !parseTimeOfDay(timePart, msecs))
        return false;
    return true;
}

QList<Token> tokenize(const QString& s)
{
    QList<Token> out;
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s[i];
        qsizetype j = i + 1;
        Kind kind = Kind::Other;
        if (c.isSpace()) {
            while (j < n && s[j].isSpace())
                ++j;
            kind = Kind::Space;
        } else if (c == QLatin1Char('\'')) {
            j = quotedEnd(s, i, c);
            kind = Kind::SingleQuoted;
        } else if (c == QLatin1Char('"')) {
            j = quotedEnd(s, i, c);
            kind = Kind::DoubleQuoted;
        } else if (c == QLatin1Char('[')) {
            j = s.indexOf(QLatin1Char(']'), i + 1);
            j = j < 0 ? n : j + 1;
            kind = Kind::Bracketed;
        } else if (c == QLatin1Char('-') && i + 1 < n && s[i + 1] == QLatin1Char('-')) {
            j = s.indexOf(QLatin1Char('\n'), i);
            j = j < 0 ? n : j;
            kind = Kind::Comment;
        } else if (c == QLatin1Char('/') && i + 1 < n && s[i + 1] == QLatin1Char('*')) {
            j = s.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            kind = Kind::Comment;
        } else if (c == QLatin1Char('#')) {
            const qsizetype close = s.indexOf(QLatin1Char('#'), i + 1);
            const qsizetype lineEnd = s.indexOf(QLatin1Char('\n'), i + 1);
            qint64 day;
            int ms;
            if (close > i && (lineEnd < 0 || close < lineEnd) &&
                parseDateLiteral(s.mid(i + 1, close - i - 1), day, ms)) {
                j = close + 1;
                kind = Kind::DateLiteral;
            }
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && s[i + 1].isDigit())) {
            while (j < n && (s[j].isDigit() || s[j] == QLatin1Char('.')))
                ++j;
            if (j < n && (s[j] == QLatin1Char('e') || s[j] == QLatin1Char('E'))) {
                qsizetype k = j + 1;
                if (k < n && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-')))
                    ++k;
                if (k < n && s[k].isDigit()) {
                    j = k;
                    while (j < n && s[j].isDigit())
                        ++j;
                }
            }
            kind = Kind::Number;
        } else if (isWordChar(c)) {
            while (j < n && isWordChar(s[j]))
                ++j;
            kind = Kind::Word;
        }
        out.append({kind, s.mid(i, j - i)});
        i = j;
    }
    return out;
}

bool isWord(const Token& t, const char* word)
{
    return t.kind == Kind::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// The index of the next token that is not blank or a comment, or the size.
qsizetype nextSolid(const QList<Token>& tokens, qsizetype i)
{
    while (i < tokens.size() && (tokens[i].kind == Kind::Space || tokens[i].kind == Kind::Comment))
        ++i;
    return i;
}

QString unquote(const QString& quoted)
{
    const QChar q = quoted[0];
    QString inner = quoted.mid(1, quoted.size() >= 2 && quoted.endsWith(q) ? quoted.size() - 2 : -1);
    inner.replace(QString(2, q), QString(q));
    return inner;
}

// An Access Like pattern as a SQLite LIKE operand: * and ? become % and _, a one-character
// class such as [*] stands for that character, and SQLite's own wildcards are escaped.
QString likePattern(const QString& pattern)
{
    QString out;
    bool escaped = false;
    auto literal = [&](QChar c) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            escaped = true;
        }
        out += c;
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('*'))
            out += QLatin1Char('%');
        else if (c == QLatin1Char('?'))
            out += QLatin1Char('_');
        else if (c == QLatin1Char('[') && i + 2 < pattern.size() && pattern[i + 2] == QLatin1Char(']') &&
                 pattern[i + 1] != QLatin1Char('!')) {
            literal(pattern[i + 1]);
            i += 2;
        } else {
            literal(c);
        }
    }
    out.replace(QLatin1String("'"), QLatin1String("''"));
    QString text = QLatin1Char('\'') + out + QLatin1Char('\'');
    if (escaped)
        text += QLatin1String(" ESCAPE '\\'");
    return text;
}

} // namespace

QByteArray AccessDateText(qint64 julianDay, int msecs)
{
    int y = 0, m = 0, d = 0;
    QDate::fromJulianDay(julianDay).getDate(&y, &m, &d);
    char buffer[32];
    int length;
    if (msecs == 0) {
        length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
    } else {
        const int s = msecs / 1000;
        length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, s / 3600,
                               s / 60 % 60, s % 60);
        if (msecs % 1000)
            length += std::snprintf(buffer + length, sizeof buffer - size_t(length), ".%03d", msecs % 1000);
    }
    return QByteArray(buffer, length);
}

QString TranslateAccessSql(const QString& sql)
{
    const QList<Token> tokens = tokenize(sql);
    QString out;
    out.reserve(sql.size() + 16);
    // The LIMIT owed by a SELECT TOP n, by the parenthesis depth of that SELECT.
    struct Owed
    {
        int depth;
        QString count;
    };
    std::vector<Owed> owed;
    int depth = 0;
    bool lineCommentLast = false; // a LIMIT added now would be commented out
    auto payOwed = [&](int atDepth) {
        while (!owed.empty() && owed.back().depth >= atDepth) {
            if (lineCommentLast)
                out += QLatin1Char('\n');
            lineCommentLast = false;
            out += QLatin1String(" LIMIT ") + owed.back().count;
            owed.pop_back();
        }
    };
    QString previousSolid;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
        case Kind::DateLiteral: {
            qint64 day = 0;
            int ms = 0;
            parseDateLiteral(t.text.mid(1, t.text.size() - 2), day, ms);
            out += QLatin1Char('\'') + QString::fromLatin1(AccessDateText(day, ms)) + QLatin1Char('\'');
            break;
        }
        case Kind::Other:
            if (t.text == QLatin1String("(")) {
                ++depth;
            } else if (t.text == QLatin1String(")")) {
                payOwed(depth);
                --depth;
            } else if (t.text == QLatin1String(";")) {
                payOwed(depth);
            }
            out += t.text;
            break;
        case Kind::Word: {
            if (isWord(t, "DISTINCTROW")) {
                out += QLatin1String("DISTINCT");
                break;
            }
            if ((isWord(t, "TRUE") || isWord(t, "FALSE")) && previousSolid != QLatin1String(".")) {
                const qsizetype next = nextSolid(tokens, i + 1);
                if (next >= tokens.size() || (tokens[next].text != QLatin1String("(") &&
                                              tokens[next].text != QLatin1String("."))) {
                    out += isWord(t, "TRUE") ? QLatin1String("-1") : QLatin1String("0");
                    break;
                }
            }
            if (isWord(t, "LIKE")) {
                const qsizetype next = nextSolid(tokens, i + 1);
                if (next < tokens.size() &&
                    (tokens[next].kind == Kind::SingleQuoted || tokens[next].kind == Kind::DoubleQuoted)) {
                    out += t.text;
                    for (qsizetype k = i + 1; k < next; ++k)
                        out += tokens[k].text;
                    out += likePattern(unquote(tokens[next].text));
                    i = next;
                    previousSolid = tokens[next].text;
                    continue;
                }
            }
            out += t.text;
            if (isWord(t, "SELECT")) {
                // SELECT [ALL | DISTINCT | DISTINCTROW] TOP n: the TOP goes, a LIMIT follows.
                qsizetype k = nextSolid(tokens, i + 1);
                QString between;
                for (qsizetype m = i + 1; m < k; ++m)
                    between += tokens[m].text;
                if (k < tokens.size() &&
                    (isWord(tokens[k], "ALL") || isWord(tokens[k], "DISTINCT") || isWord(tokens[k], "DISTINCTROW"))) {
                    between += isWord(tokens[k], "DISTINCTROW") ? QStringLiteral("DISTINCT") : tokens[k].text;
                    const qsizetype after = nextSolid(tokens, k + 1);
                    for (qsizetype m = k + 1; m < after; ++m)
                        between += tokens[m].text;
                    k = after;
                }
                if (k < tokens.size() && isWord(tokens[k], "TOP")) {
                    const qsizetype count = nextSolid(tokens, k + 1);
                    const qsizetype after = nextSolid(tokens, count + 1);
                    bool whole = false;
                    if (count < tokens.size() && tokens[count].kind == Kind::Number)
                        tokens[count].text.toLongLong(&whole);
                    if (whole && !(after < tokens.size() && isWord(tokens[after], "PERCENT"))) {
                        out += between;
                        if (!out.endsWith(QLatin1Char(' ')) && !out.endsWith(QLatin1Char('\n')))
                            out += QLatin1Char(' ');
                        owed.push_back({depth, tokens[count].text});
                        previousSolid = tokens[count].text;
                        i = after - 1; // the select list follows
                        continue;
                    }
                }
            }
            break;
        }
        default:
            out += t.text;
            break;
        }
        if (t.kind != Kind::Space && t.kind != Kind::Comment)
            previousSolid = t.text;
        if (t.kind != Kind::Space)
            lineCommentLast = t.kind == Kind::Comment && t.text.startsWith(QLatin1String("--"));
    }
    payOwed(0);
    return out;
}
