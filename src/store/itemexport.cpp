#include "store/itemexport.h"
#include "store/itemstate.h"
#include "store/profiledb.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QVariant>

namespace {

struct StateName {
    const char *name;
    const char *label;
    const char *where;
};
// The places the list's state column tells apart, each by the list's own rule.
const StateName kStates[] = {
    {"uncollected", "未采集", "itemstate=0 AND errcode=0 AND state=0"},
    {"collected", "已采集", "itemstate=0 AND errcode=0 AND state=1"},
    {"edited", "已修改", "itemstate=0 AND errcode=0 AND state=2"},
    {"uploaded", "已上传", "itemstate=0 AND state=3"},
    {"refused", "上传失败", itemstate::kRefusedSql},
    {"abnormal", "状态不正常", itemstate::kAbnormalSql},
};

// The list's columns, then what the list only shows on demand.
const char *const kCsvHeader[] = {"序列", "宝贝标题", "价格", "宝贝ID", "状态", "更新时间", "推广链接", "描述地址", "原因"};
const char *const kJsonKeys[] = {"id", "title", "price", "item", "state", "updated", "click_url", "description_url", "reason"};

// The list's reason without the state it repeats ("上传失败：" ...).
QString bareReason(const ItemListRow &row)
{
    const QString why = needreason(row);
    const QString prefix = listlabel(row) + QStringLiteral("：");
    return why.startsWith(prefix) ? why.mid(prefix.size()) : why;
}

} // namespace

QStringList ItemExport::stateNames()
{
    QStringList names;
    for (const StateName &s : kStates)
        names << QString::fromLatin1(s.name);
    return names;
}

bool ItemExport::parseStates(const QString &names, QStringList *states, QString *error)
{
    states->clear();
    for (const QString &n : names.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = n.trimmed();
        const StateName *found = nullptr;
        for (const StateName &s : kStates)
            if (name == QLatin1String(s.name) || name == QString::fromUtf8(s.label))
                found = &s;
        if (!found) {
            *error = QStringLiteral("未知的状态：%1（可用：%2）").arg(name.left(40), stateNames().join(QLatin1Char(',')));
            return false;
        }
        *states << QString::fromLatin1(found->where);
    }
    if (states->isEmpty()) {
        *error = QStringLiteral("没有给出状态（可用：%1）").arg(stateNames().join(QLatin1Char(',')));
        return false;
    }
    return true;
}

bool ItemExport::parseFormat(const QString &name, Format *format)
{
    if (name == QLatin1String("csv"))
        *format = Format::Csv;
    else if (name == QLatin1String("json"))
        *format = Format::Json;
    else
        return false;
    return true;
}

ItemExport::ItemExport(ProfileDb &db, QIODevice &out, Format format, const QStringList &states)
    : m_db(db), m_out(out), m_format(format), m_states(states)
{
}

QString ItemExport::csvField(const QString &value)
{
    QString v = value;
    // A cell that starts like a formula would be run by the spreadsheet program; the texts come
    // from the shop's pages, so one could be made to. A number stays a number.
    static const QString formulaStart = QStringLiteral("=+-@\t\r");
    bool number = false;
    v.toDouble(&number);
    if (!v.isEmpty() && formulaStart.contains(v.front()) && !number)
        v.prepend(QLatin1Char('\''));
    if (v.contains(QLatin1Char(',')) || v.contains(QLatin1Char('"')) || v.contains(QLatin1Char('\n'))
        || v.contains(QLatin1Char('\r')))
        return QLatin1Char('"') + v.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return v;
}

bool ItemExport::fail(const QString &why)
{
    m_error = why;
    m_done = true;
    m_query.finish();
    return false;
}

bool ItemExport::flush(const QByteArray &bytes)
{
    if (m_out.write(bytes) == bytes.size())
        return true;
    return fail(QStringLiteral("导出失败：无法写入（%1）").arg(m_out.errorString()));
}

DbStatus ItemExport::start()
{
    m_query = QSqlQuery(m_db.database());
    m_query.setForwardOnly(true);
    // The reason expressions are the list's own (ProfileDb::listRows).
    QString sql = QStringLiteral("SELECT id,title,money,item,state,itemstate,updatetime,errcode,"
                                 "CASE WHEN errcode<>0 OR itemstate<>0 THEN errdecription END,"
                                 "CASE WHEN itemstate=0 THEN 0 WHEN coalesce(title,'')='' THEN 1 "
                                 "WHEN substr(web_url,-1)='/' THEN 2 ELSE 0 END,"
                                 "click_url,web_url FROM itemlist");
    if (!m_states.isEmpty())
        sql += QStringLiteral(" WHERE (") + m_states.join(QStringLiteral(") OR (")) + QLatin1Char(')');
    sql += QStringLiteral(" ORDER BY byid DESC, id DESC");
    if (!m_query.prepare(sql) || !m_query.exec()) {
        const DbStatus why = DbStatus::of(m_query.lastError());
        fail(why.readFailure());
        return why.ok() ? DbStatus::failed(QStringLiteral("export query failed")) : why;
    }
    QByteArray head;
    if (m_format == Format::Csv) {
        // The mark tells spreadsheet programs the file is UTF-8; without it they read the
        // Chinese texts in the system's code page.
        head = "\xEF\xBB\xBF";
        QStringList names;
        for (const char *h : kCsvHeader)
            names << QString::fromUtf8(h);
        head += names.join(QLatin1Char(',')).toUtf8() + "\r\n";
    } else {
        head = "[";
    }
    if (!flush(head))
        return DbStatus::failed(m_error);
    return {};
}

bool ItemExport::writeSome(int rows)
{
    if (m_done)
        return false;
    QByteArray chunk;
    for (int n = 0; n < rows; ++n) {
        if (!m_query.next()) {
            if (m_query.lastError().isValid())
                return fail(DbStatus::of(m_query.lastError()).readFailure());
            m_done = true;
            m_query.finish();
            if (m_format == Format::Json)
                chunk += m_written ? "\n]\n" : "]\n";
            flush(chunk);
            return false;
        }
        ItemListRow r;
        r.id = m_query.value(0).toLongLong();
        r.title = m_query.value(1).toString();
        r.money = m_query.value(2).toString();
        r.item = m_query.value(3).toString();
        r.state = m_query.value(4).toInt();
        r.itemstate = m_query.value(5).toInt();
        r.updatetime = m_query.value(6).toString();
        r.errcode = m_query.value(7).toInt();
        r.errdecription = m_query.value(8).toString();
        r.abnormal = ItemListRow::Abnormal(m_query.value(9).toInt());
        const QString values[] = {QString::number(r.id), r.title, r.money, r.item, listlabel(r), r.updatetime,
                                  m_query.value(10).toString(), m_query.value(11).toString(), bareReason(r)};
        if (m_format == Format::Csv) {
            QStringList fields;
            for (const QString &v : values)
                fields << csvField(v);
            chunk += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
        } else {
            QJsonObject o;
            for (size_t i = 0; i < std::size(values); ++i)
                o.insert(QLatin1String(kJsonKeys[i]), i == 0 ? QJsonValue(double(r.id)) : QJsonValue(values[i]));
            chunk += (m_written ? ",\n" : "\n") + QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        ++m_written;
    }
    return flush(chunk);
}

bool ItemExport::writeAll()
{
    if (!start())
        return false;
    while (writeSome(500)) {
    }
    return !failed();
}
