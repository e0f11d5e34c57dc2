#pragma once

#include "rules/rules.h"
#include "store/dbresult.h"
#include "store/profilefile.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QSqlDatabase>
#include <QVariantList>
#include <optional>
#include <vector>

// The single settings row.
struct SoftConfig {
    QString web_server, web_user, web_pass, web_adminpath, alimama;
    int pageid = 0;
    RuleSet rules;   // t_*, d_*, k_*
    QString guest_shop, shopsid;   // the shop to collect and its seller ID
    // Where the site password is: "keyring" (web_pass is empty then), or empty: in web_pass.
    QString pass_store;
    bool passInKeyring() const { return pass_store == QLatin1String("keyring"); }
};

// How one run of the headless runner ended, with the profile's counts at its end.
struct RunRecord {
    QDateTime started, ended;
    QString command;
    int status = 0;            // the runner's exit status
    bool unattended = false;   // started without a terminal (a timer, cron)
    qint64 listed = 0, waiting = 0, uploaded = 0, refused = 0, abnormal = 0;
    qint64 uploadedNow = 0;    // of them uploaded by this run
};

// What the item list shows of one row.
struct ItemListRow {
    qint64 id = 0;
    QString title, money, item, updatetime;
    int state = 0;
    int itemstate = 0;
    int errcode = 0;
    QString errdecription;   // only for a refused row
    // Why an abnormal row is: its page said it is gone, or it could not be uploaded.
    enum class Abnormal : quint8 { PageGone, NoTitle, NoDescription };
    Abnormal abnormal = Abnormal::PageGone;
};

// An item as the shop's list page shows it.
struct ListedItem {
    QString item, title, web_pic, money;
    qint64 byid = 0;
};

// The texts an item page gives, as they are stored.
struct ItemTexts {
    QString web_title, web_doc, web_key, web_url, web_content;
};

// One whole itemlist row.
struct ItemRecord {
    qint64 id = 0;
    QString item, title, money, web_pic, click_url, web_title, web_key, web_doc, web_content, web_url;
    int state = 0, itemstate = 0, errcode = 0;
    qint64 byid = 0;
    std::optional<int> html;
    QString errdecription, updatetime;
    bool posting = false;   // an upload of the row was under way and its outcome never stored
};

// The profile database: every statement the program runs, each with bound values,
// on one SQLite connection that lives from open() to close().
class QSqlQuery;

class ProfileDb
{
public:
    enum class OpenResult { Opened, Created, Failed };
    enum class Write { Done, NoRow };

    // 2: the settings row keeps the shop address and the shop's seller ID.
    // 3: a row carries the mark of an upload under way; Steps 2 and 3 pick by indexes of their own.
    // 4: the item list sorts, filters and searches by indexes (and a title search index) of its own.
    // 5: the settings row says where the password is kept; the runner keeps its run records.
    static constexpr int kSchemaVersion = 5;

    ProfileDb();
    ~ProfileDb();
    ProfileDb(const ProfileDb &) = delete;
    ProfileDb &operator=(const ProfileDb &) = delete;

    // Opens the file; a missing or empty file is created with both tables and the initial
    // settings row, built beside it and renamed into place when whole. A file that exists but
    // is unreadable or of another schema is left untouched (Failed). A file this process may
    // not write is opened to be read only.
    OpenResult open(const QString &path);
    // Puts every commit into the file itself first.
    void close();
    bool isOpen() const { return m_ok; }
    QString path() const { return m_path; }
    QString lastError() const { return m_error; }   // why open() failed, in the operator's words
    QString lastErrorDetail() const { return m_errorDetail; }   // and SQLite's own, for the log
    // Why the open profile can only be read ("文件夹只读", "文件只读"); empty when it can be written.
    QString readOnly() const { return m_readOnly; }

    // Whether the path still names the file that was opened (not deleted, moved away or
    // replaced). Every write asks this first and fails when it does not: nothing goes into a
    // file that is no longer the profile.
    DbStatus checkFile();
    // Moves every commit from the journal into the file, so that the file alone holds them.
    DbStatus checkpoint();
    // Changes with every commit another connection makes to the file (not with this one's).
    DbResult<qint64> dataVersion();

    // The program's own place for the file: the per-user data folder for an installed program;
    // else db/Profile.db beside the program, or the per-user data folder when the program's
    // folder cannot be written.
    static QString defaultPath();
    // The program runs from an installed layout (prefix/bin beside prefix/share/velorix).
    static bool installed();

    // Settings row. A read that fails says why; no row is nullopt.
    DbResult<std::optional<SoftConfig>> loadSettings();
    DbStatus saveSiteSettings(const QString &user, const QString &pass, const QString &server,
                              const QString &adminpath);
    DbStatus savePublisherId(const QString &pid);
    DbStatus saveRules(const RuleSet &rules);
    DbStatus setPageId(int page);
    DbStatus resetPageId();
    DbResult<int> pageId();
    DbStatus saveShopAddress(const QString &shop);
    DbStatus saveShopSid(const QString &sid);
    // The password went into the system keyring: the row keeps no copy and says where it is.
    DbStatus setPassInKeyring();

    // The runner's records, the newest kRunRecordsKept of them; the newest one (of the
    // unattended runs only, when asked), nullopt when there is none.
    static constexpr int kRunRecordsKept = 100;
    DbStatus addRunRecord(const RunRecord &record);
    DbResult<std::optional<RunRecord>> lastRunRecord(bool unattendedOnly);

    // Item rows.
    DbResult<std::vector<ItemListRow>> listRows();   // in list order
    DbResult<std::optional<ItemRecord>> itemById(qint64 id);
    DbResult<std::optional<ItemRecord>> itemByItem(const QString &item);
    DbStatus deleteById(qint64 id);
    DbStatus markAbnormal(const QString &item);
    DbStatus markAbnormalById(qint64 id);
    // An item whose page could not be read while the marketplace answered: out of Step 2's
    // selection, with the reason the list shows, until it is collected again.
    DbStatus setAside(const QString &item, const QString &reason);
    // The site took the row (state 3) / refused it with this reply (errcode 1); either ends the
    // upload under way.
    DbStatus setUploaded(qint64 id);
    DbStatus setRefused(qint64 id, const QString &reply);
    // An upload of the row is going out now / ended without an outcome to store. The mark is on
    // the disk before the post leaves, so that a run stopped before the outcome was stored
    // finds it.
    DbStatus setPosting(qint64 id);
    DbStatus clearPosting(qint64 id);
    DbResult<QString> nextUncollected();             // item ID, empty when none
    DbResult<std::optional<ItemRecord>> nextToUpload();
    // Another item than this one whose page shows whether the marketplace answers: the next one
    // waiting, else any; empty when the profile holds no other.
    DbResult<QString> otherItem(const QString &item);
    // Another row's description address, to see whether the description host answers.
    DbResult<QString> otherDescription(qint64 id);
    DbStatus resetAllStates();
    // Writes the three page texts and marks the row edited; NoRow when the row is gone.
    DbResult<Write> saveEdit(qint64 id, const QString &webTitle, const QString &webKey, const QString &webDoc);
    // Inserts a listed item (state 0, codes defaulted); the new id.
    DbResult<qint64> insertListed(const QString &item, const QString &title, const QString &pic,
                                  const QString &money, qint64 byid);
    DbResult<qint64> itemCount();
    // How many rows are in each place of the pipeline: notCollected waits for Step 2,
    // collected (edited ones included) for Step 3.
    struct Counts {
        qint64 listed = 0, notCollected = 0, collected = 0, edited = 0, uploaded = 0, refused = 0, abnormal = 0;
    };
    DbResult<Counts> counts();

    // Stores a listed item: a new row; or, for an item already there, nothing (resume) or its
    // list data, position and state 0 (fresh). Inserted: a new row was added.
    DbResult<Write> additemlist(const ListedItem &listed, bool fresh, bool *inserted = nullptr);
    // Stores what an item page gave into the item's row (state 1, itemstate 0); the click URL
    // only when there is one. NoRow when the item has no row: nothing is inserted.
    DbResult<Write> additem(const QString &item, const ItemTexts &texts, const QString &clickUrl);
    // An item added by hand: inserted or overwritten, positioned by its own id, html 1, state 1.
    DbStatus addalimamaitemlist(const ListedItem &listed, const ItemTexts &texts, const QString &clickUrl);
    // Several writes as one: all of them or none reach the file.
    DbStatus begin();
    DbStatus commit();
    void rollback();

    // Copies the profile beside it as <name>-YYYYMMDD-HHMMSS.db and keeps the newest `keep`
    // copies; the copy's path, or why there is none.
    DbResult<QString> backup(const QDateTime &now, int keep);

    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }

    // The columns of a file of this schema version (the newest by default).
    static QStringList softConfigColumns(int version = kSchemaVersion);
    static QStringList itemlistColumns(int version = kSchemaVersion);

private:
    bool openConnection(const QString &path);
    bool build(const QString &path, bool replaceEmpty, bool *taken);
    DbStatus createSchema();
    bool checkSchema(QString *problem);
    DbStatus migrate(int from);
    DbStatus stampAndCommit(DbStatus s);
    // One statement with bound values; the query is returned to be read on.
    DbStatus run(QSqlQuery &q, const QString &sql, const QVariantList &values = {});
    DbStatus exec(const QString &sql, const QVariantList &values = {});
    DbResult<Write> execWrite(const QString &sql, const QVariantList &values);
    DbStatus writeSettings(const QStringList &columns, const QVariantList &values);

    QString m_connection;
    QString m_path;
    QString m_error, m_errorDetail;
    QString m_readOnly;
    profilefile::Identity m_identity;
    bool m_replacedSeen = false;
    bool m_ok = false;
};
