#pragma once

#include "rules/rules.h"
#include "session/checks.h"
#include "store/profiledb.h"

#include <QObject>
#include <optional>

// The program's working state outside the controls: the profile database, the site settings
// in force, and the operator's actions on them. The window and the headless runner both
// drive this object and show what it reports.
class Session : public QObject
{
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);

    ProfileDb &db() { return m_db; }

    static QString welcomeText();

    // Opens the profile; returns the text the status line shows after start-up: the
    // welcome text, or which file could not be used and why.
    QString opendb(const QString &path = ProfileDb::defaultPath());

    // Reads the settings row and takes the site settings from it; nullopt when there is none.
    std::optional<SoftConfig> getsoftinfo();

    QString webserver() const { return m_webserver; }
    QString webuser() const { return m_webuser; }
    QString webpass() const { return m_webpass; }
    QString webadminpath() const { return m_webadminpath; }

    // The site-settings save: checks, stores and takes the settings. server loses one
    // trailing "/" (the caller shows it so). Messages go to the operator from here.
    FieldCheck saveSiteSettings(const QString &user, const QString &pass, QString &server,
                                const QString &adminpath);
    void savePublisherId(const QString &pid);
    RuleCheck saveRules(const RuleSet &rules);

    // The editor's view of a row clicked in the list.
    struct EditorRow {
        bool found = false;
        bool editable = false;      // collected: the three texts are shown
        QString webTitle, webKey, webDoc;
    };
    EditorRow loadEditorRow(qint64 id);
    FieldCheck saveEdit(const QString &tag, const QString &webTitle, const QString &webKey,
                        const QString &webDoc);
    void deleteItem(qint64 id);

signals:
    void status(const QString &text);
    // A shown list row (by its id) takes a new state label without a refill.
    void rowLabelById(qint64 id, const QString &label);

private:
    FieldCheck refuse(const FieldCheck &c, bool toStatus);

    ProfileDb m_db;
    QString m_webserver, m_webuser, m_webpass, m_webadminpath;
};
