#pragma once

#include "rules/rules.h"
#include "base/checks.h"
#include "base/pipeline.h"
#include "session/profilewatch.h"
#include "session/progress.h"
#include "session/runlog.h"
#include "session/sitepassword.h"
#include "store/profiledb.h"
#include "store/runlock.h"
#include "base/notifier.h"

#include <QObject>
#include <functional>
#include <optional>

class CacheCleaner;
class ConvertChannel;
class DetailStep;
class ItemCollector;
class ListStep;
class ManualAdd;
class SiteLogin;
class UploadStep;
class WebService;

// Every message box and question the session's objects show also goes to the run log.
class LoggingNotifier : public Notifier
{
public:
    LoggingNotifier(Notifier &shown, RunLog &log) : m_shown(shown), m_log(log) {}
    void showmsg(const QString &text) override;
    bool ask(const QString &text, const QString &title) override;

private:
    Notifier &m_shown;
    RunLog &m_log;
};

// The program's working state outside the controls: the profile database, the settings and
// rules in force, the fields the steps share, and the steps themselves. The window and the
// headless runner both drive this object and show what it reports.
class Session : public QObject
{
    Q_OBJECT
public:
    explicit Session(Notifier &notifier, WebService &web, QObject *parent = nullptr);
    ~Session() override;

    ProfileDb &db() { return m_db; }
    Notifier &notifier() { return m_logged; }
    RunLog &runLog() { return m_log; }
    Progress &progress() { return m_progress; }
    WebService &web() { return m_web; }
    Pipeline &shared() { return m_shared; }
    // One writer per profile: what runs holds this; a second process is refused.
    RunLock &runLock() { return m_runLock; }
    // Says when another process changed the profile.
    ProfileWatch &profileWatch() { return *m_watch; }

    static QString welcomeText();

    // Opens the profile; returns the text the status line shows after start-up: the
    // welcome text, that the profile can only be read, or which file could not be used and why.
    QString opendb(const QString &path = ProfileDb::defaultPath());

    // Reads the settings row and takes the site settings, the rules, the shop address and the
    // seller ID from it; nullopt when there is none.
    DbResult<std::optional<SoftConfig>> getsoftinfo();

    QString webserver() const { return m_webserver; }
    QString webuser() const { return m_webuser; }
    QString webpass() const { return m_password->pass(); }
    // The site password and where it is kept; the keyring it may go to is set here.
    SitePassword &password() { return *m_password; }
    QString webadminpath() const { return m_webadminpath; }

    // The site-settings save: checks, stores and takes the settings. server loses one
    // trailing "/" (the caller shows it so). Messages go to the operator from here.
    FieldCheck saveSiteSettings(const QString &user, const QString &pass, QString &server,
                                const QString &adminpath);
    // The publisher ID (digits, or nothing), checked and kept; a refused one is said in the
    // status line and not kept.
    FieldCheck savePublisherId(const QString &pid);
    FieldCheck saveRules(const RuleSet &rules);

    // The rules every page read from now on is rewritten by: what the rules page holds, saved
    // or not (the runner has the saved ones).
    const RuleSet &rules() const { return m_rules; }
    void setRules(const RuleSet &rules) { m_rules = rules; }

    // The shop to collect and its seller ID, as the settings page holds them; kept in the
    // settings row when their box is left.
    void setShopAddress(const QString &shop) { m_shared.shopAddress = shop; }
    FieldCheck saveShopAddress(const QString &shop);
    void setShopSid(const QString &sid) { m_shared.shopsid = sid; }
    FieldCheck saveShopSid(const QString &sid);

    // The row in the quick-edit area: its id, 0 while none has been clicked, and its item ID
    // (empty when the row was gone as it was loaded).
    qint64 editorRow() const { return m_editorRow; }
    QString editorItem() const { return m_editorItem; }
    struct EditorRow {
        bool found = false;
        bool editable = false;      // collected: the three texts are shown
        QString item;
        QString webTitle, webKey, webDoc;
    };
    // A click on a list row: it becomes the editor's row, whatever its state.
    EditorRow loadEditorRow(qint64 id);
    FieldCheck saveEdit(const QString &webTitle, const QString &webKey, const QString &webDoc);
    // Deletes the rows and names them in the run log; returns how many went. A row the
    // database would not delete is reported in the status line.
    int deleteItems(const QList<qint64> &ids);

    // The steps and actions.
    ListStep &listStep() { return *m_listStep; }
    DetailStep &detailStep() { return *m_detailStep; }
    ManualAdd &manualAdd() { return *m_manualAdd; }
    UploadStep &uploadStep() { return *m_uploadStep; }
    SiteLogin &siteLogin() { return *m_login; }
    ItemCollector &collector() { return *m_collector; }
    CacheCleaner &cacheCleaner() { return *m_cleaner; }
    ConvertChannel &channel1() { return *m_channel1; }
    ConvertChannel &channel2() { return *m_channel2; }

    // Reads the page of an item shown in the list again (XPButton23), after asking; the click
    // URL stays. Nothing happens while no row is in the editor.
    void recollect(const QString &item);

signals:
    // The status line; a failure comes with why (see Reporter::status).
    void status(const QString &text, const QString &reason = {}, const QString &detail = {});
    // A shown list row takes a new label without a refill, found by its id or its item ID.
    void rowLabelById(qint64 id, const QString &label);
    void rowLabel(const QString &item, const QString &label);
    // The three texts the last page read gave an item, for the quick-edit boxes.
    void workTexts(const QString &item, const QString &title, const QString &doc, const QString &key);
    void refillList();
    // Step 1 asks for its mode; the shop address is missing; a manual add stored its item.
    void modeWanted();
    void settingsWanted();
    void manualAdded(const QString &item);

private:
    FieldCheck refuse(const FieldCheck &c, bool toStatus, const DbStatus &why = {});
    FieldCheck keep(const FieldCheck &check, const std::function<DbStatus()> &write, const QString &what);
    void bind(class Reporter *reporter);
    void bind(class Step *step, std::optional<Progress::Phase> phase);

    RunLog m_log;
    LoggingNotifier m_logged;
    Progress m_progress;
    WebService &m_web;
    ProfileDb m_db;
    RunLock m_runLock;
    ProfileWatch *m_watch;
    Pipeline m_shared;
    RuleSet m_rules;
    QString m_webserver, m_webuser, m_webadminpath;
    SitePassword *m_password;
    qint64 m_editorRow = 0;
    QString m_editorItem;

    ConvertChannel *m_channel1, *m_channel2;
    CacheCleaner *m_cleaner;
    ItemCollector *m_collector;
    ListStep *m_listStep;
    DetailStep *m_detailStep;
    ManualAdd *m_manualAdd;
    SiteLogin *m_login;
    UploadStep *m_uploadStep;
};
