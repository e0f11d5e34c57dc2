#pragma once

#include <QString>
#include <QVariantList>

class QSqlError;
class QSqlQuery;

// What a statement of the profile did: nothing to say when it ran; SQLite's own account when it
// did not, so that a read that failed is never taken for "nothing there".
struct DbStatus {
    QString error;   // SQLite's text; empty when the statement ran
    int code = 0;    // SQLite's result code

    // Not SQLite's: the path no longer names the file that was opened.
    static constexpr int kFileReplaced = -2;

    bool ok() const { return error.isEmpty(); }
    explicit operator bool() const { return ok(); }

    // A short phrase for the operator ("数据库文件已损坏", "磁盘空间不足", ...); empty when ok.
    QString reason() const;
    // The phrase with SQLite's text, for the log.
    QString logReason() const;

    // "数据库读取失败：" and the phrase: what a step says when it cannot read what to do next.
    QString readFailure() const { return QStringLiteral("数据库读取失败：") + reason(); }
    // The same for a write: "<what>保存失败：" and the phrase.
    QString writeFailure(const QString &what) const { return what + QStringLiteral("保存失败：") + reason(); }

    static DbStatus of(const QSqlError &error);
    static DbStatus failed(const QString &text, int code = 1) { return {text.isEmpty() ? QStringLiteral("unknown error") : text, code}; }
};

// A read's value, or why there is none.
template <typename T>
struct DbResult : DbStatus {
    T value{};

    DbResult() = default;
    DbResult(T v) : value(std::move(v)) {}
    DbResult(const DbStatus &failure) : DbStatus(failure) {}
};

// Prepares, binds and runs one statement; the statement's own error when it fails (not the
// connection's, which may describe an earlier one).
DbStatus runStatement(QSqlQuery &q, const QString &sql, const QVariantList &values = {});
