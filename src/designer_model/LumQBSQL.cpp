#include "LumQBSQL.h"

#include "LumQBException.h"
#include "LumQBModel.h"
#include "uSqlNames.h"

#include <algorithm>
#include <utility>

namespace {

QString quoteName(const QString& name)
{
    if (IsPlainSqlName(name) && !IsSqlReservedWord(name))
        return name;
    return BracketSqlName(name);
}

// A caption the user already put in brackets or quotes is left as typed.
QString quoteCaption(const QString& caption, const TLumQBQuoteName& quote)
{
    const QString t = caption.trimmed();
    if (t.size() >= 2 && ((t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) ||
                          (t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"'))) ||
                          (t.startsWith(QLatin1Char('\'')) && t.endsWith(QLatin1Char('\'')))))
        return caption;
    return quote(caption);
}

// True when the text holds the word OR outside quotes, brackets and parentheses: such a
// criteria would otherwise loosen every other condition it is joined to with AND.
bool hasTopLevelOr(const QString& text)
{
    int depth = 0;
    QChar quote;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            quote = c;
        else if (c == QLatin1Char('['))
            quote = QLatin1Char(']');
        else if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            depth = std::max(0, depth - 1);
        else if (depth == 0 && text.mid(i, 2).compare(QLatin1String("or"), Qt::CaseInsensitive) == 0) {
            auto isWordChar = [&](int j) {
                return j >= 0 && j < text.size() &&
                       (text[j].isLetterOrNumber() || text[j] == QLatin1Char('_'));
            };
            if (!isWordChar(i - 1) && !isWordChar(i + 2))
                return true;
        }
    }
    return false;
}

void appendTerm(QString& s, const QString& options, const QString& term)
{
    if (s == options)
        s += term;
    else
        s += QLatin1String(", ") + term;
}

void appendAnd(QString& w, const QString& condition)
{
    w = w.isEmpty() ? condition : w + QLatin1String(" AND ") + condition;
}

QString joinText(TJoinKind kind)
{
    switch (kind) {
    case jkLeftOuter:
        return QStringLiteral(" LEFT OUTER JOIN ");
    case jkRightOuter:
        return QStringLiteral(" RIGHT OUTER JOIN ");
    case jkFullOuter:
        return QStringLiteral(" FULL OUTER JOIN ");
    case jkInner:
        break;
    }
    return QString();
}

} // namespace

QString QuoteTableName(const QString& name)
{
    return quoteName(name);
}

QString QuoteFieldName(const QString& name)
{
    return quoteName(name);
}

QStringList GetSQL(const TLumQBDiagram& diagram, const TLumQBGridData* grid, const TLumQBQuoteName& quoteWith)
{
    const TLumQBQuoteName quote = quoteWith ? quoteWith : TLumQBQuoteName(quoteName);
    // "*" is the all-columns mark, never a name.
    auto quoteField = [&](const QString& field) {
        return field == QLatin1String("*") ? field : quote(field);
    };
    const QString options = diagram.OptionsClause;
    QString s = options;
    QString f;
    QString w;
    QString g;
    QList<std::pair<int, QString>> sortTerms;
    QStringList outerAliases;
    QStringList joinLines;

    for (int i = 0; i < diagram.LinkCount(); ++i) {
        const TLumQBLinkData& link = *diagram.Links(i);
        const QString a1 = quote(link.Table1->TableAlias);
        const QString a2 = quote(link.Table2->TableAlias);
        const QString condition = a1 + QLatin1Char('.') + quoteField(link.Field1) +
                                  JoinOperatorText(link.JoinOperator) + a2 + QLatin1Char('.') +
                                  quoteField(link.Field2);
        if (link.JoinKind == jkInner) {
            appendAnd(w, condition);
            continue;
        }
        for (const QString& a : {a1, a2})
            if (!outerAliases.contains(a, Qt::CaseInsensitive))
                outerAliases << a;
        joinLines << quote(link.Table1->TableName) + QLatin1String(" AS ") + a1 +
                         joinText(link.JoinKind) + quote(link.Table2->TableName) +
                         QLatin1String(" AS ") + a2 + QLatin1String(" ON ") + condition;
    }

    const bool grouping = grid && grid->UseGroupBy();
    QStringList criteria;
    for (int t = 0; t < diagram.TableCount(); ++t) {
        const TLumQBTableData& table = *diagram.Tables(t);
        const QString alias = quote(table.TableAlias);
        for (int e = 0; e < table.Fields.size(); ++e) {
            if (!table.IsTicked(e))
                continue;
            const QString field = table.Fields[e];
            const bool star = field == QLatin1String("*");
            const QString q = alias + QLatin1Char('.') + quoteField(field);
            if (!grid) {
                appendTerm(s, options, q);
                continue;
            }
            const int r = grid->FindRow(field, table.TableName);
            if (r < 0)
                throw ELumQBException(QStringLiteral("Can't find row for column \"%1\" in table \"%2\"")
                                          .arg(field, table.TableName));
            const TLumQBGridRow& row = grid->Row(r);
            const bool captioned = !row.Caption.isEmpty() && (grouping || !star);
            if (row.Output) {
                QString term = q;
                if (grouping && row.GroupBy != QLatin1String("Group By")) {
                    term =
                        row.GroupBy + QLatin1Char('(') + (star ? QStringLiteral("*") : q) + QLatin1Char(')');
                } else if (grouping) {
                    g = g.isEmpty() ? q : g + QLatin1String(", ") + q;
                }
                appendTerm(s, options, term);
                if (captioned)
                    s += QLatin1String(" AS ") + quoteCaption(row.Caption, quote);
            }
            // A caption names a shown column only: ORDER BY may use it, WHERE cannot.
            const QString sortRef = captioned && row.Output ? quoteCaption(row.Caption, quote) : q;
            if (row.SortType != QLatin1String("Unsorted"))
                sortTerms.append({row.SortOrder, row.SortType == QLatin1String("Ascending")
                                                     ? sortRef
                                                     : sortRef + QLatin1String(" desc")});
            if (!row.Criteria.isEmpty()) {
                const QString d = q + QLatin1Char(' ') + row.Criteria;
                criteria << (hasTopLevelOr(row.Criteria) ? QLatin1Char('(') + d + QLatin1Char(')') : d);
            }
        }
        if (!outerAliases.contains(alias, Qt::CaseInsensitive)) {
            const QString item = quote(table.TableName) + QLatin1String(" AS ") + alias;
            f = f.isEmpty() ? item : f + QLatin1String(", ") + item;
        }
    }
    for (const QString& c : criteria)
        appendAnd(w, c);

    QStringList lines;
    lines << QLatin1String("SELECT ") + s;
    lines << QLatin1String("FROM ") + f;
    lines << joinLines;
    if (!w.isEmpty())
        lines << QLatin1String("WHERE ") + w;
    if (!g.isEmpty())
        lines << QLatin1String("GROUP BY ") + g;
    std::stable_sort(sortTerms.begin(), sortTerms.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList order;
    for (const auto& term : sortTerms)
        order << term.second;
    if (!order.isEmpty())
        lines << QLatin1String("ORDER BY ") + order.join(QLatin1String(", "));
    if (!diagram.ClosingClause.isEmpty())
        lines << diagram.ClosingClause;
    return lines;
}
