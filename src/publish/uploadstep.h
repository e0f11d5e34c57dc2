#pragma once

#include "base/pipeline.h"
#include "base/step.h"
#include "publish/sitelogin.h"
#include "store/profiledb.h"

#include <optional>

class ConvertChannel;
class QTimer;

// Step 3: publishes the collected items to the mirror site, one per tick of Timer3, after the
// shop's own conversion (once per run) and a login; Timer4 logs in again when the site says
// the login was lost. Also the upload by hand of the row in the editor.
class UploadStep : public Step
{
    Q_OBJECT
public:
    // The site settings in force (the session's); passProblem says why there is no password
    // to log in with (a keyring that did not give it), empty when there is one.
    struct Site {
        const QString &server, &user, &pass, &passProblem;
    };

    UploadStep(Services services, Site site, ConvertChannel &channel, SiteLogin &login, QObject *parent = nullptr);

    // After an upload or a skipped row, after a refusal, and before a login anew (500, 1000
    // and 1000 ms).
    static constexpr int kMaxReloginsPerRow = 3;
    // Attempts at the shop's conversion before the start is given up.
    static constexpr int kMaxShopAttempts = 10;
    // Reads of one row's description document that fail before the step looks whether the
    // description host answers for another row.
    static constexpr int kMaxDocumentAttempts = 3;
    void setIntervals(int nextMs, int refusedMs, int reloginMs = 1000);

    // command3: converts the shop first (once per run), then logs in and starts or resumes;
    // pauses a running step (the upload in flight finishes).
    void click();
    // XPButton24: uploads the row in the editor now, whatever its codes.
    void uploadNow(qint64 id);

    // The shop's own click URL, asked for once while the program runs (started() follows the
    // login, with the items waiting then; a unit is a row uploaded, refused or set aside).
    bool shoplinkok() const { return m_shoplinkok; }
    QString shopclickurl() const { return m_shopclickurl; }
    // Taken as converted already (a test's start at the login), or to be converted again.
    void setShopLink(bool ok, const QString &clickurl = {});

signals:
    void refused(const QString &item, const QString &reply);

private:
    enum class Path { Step, ByHand };
    void tick();
    void relogin();
    // The hold is the run lock, kept by an upload by hand until its end.
    void upload(const ItemRecord &row, Path path, const RunLock::Hold &hold = {});
    void post(const ItemRecord &row, Path path, const QString &page, const RunLock::Hold &hold);
    void documentFailed(const ItemRecord &row, Path path, const FetchResult &document, const RunLock::Hold &hold);
    // What the status line and the log say of a row whose last upload never got its answer stored.
    static QString interrupted(const ItemRecord &row);
    void posted(const ItemRecord &row, Path path, const QString &reply);
    void refuse(const ItemRecord &row, const QString &reason, Path path);
    void unreachable(const ItemRecord &row, const QString &text, Path path, const FetchResult &why);
    void halt(const QString &text, const QString &reason = {}, const QString &detail = {});
    void tell(const QString &text, const QString &reason = {}, const QString &detail = {});
    bool siteMissing();
    bool passMissing(Path path);
    bool stored(const DbStatus &written, Path path);
    void loggedIn(const SiteLogin::Answer &r, bool carriedOn);
    // The context of an upload's fetches: the run's for the step, the step's own by hand.
    QObject *context(Path path) { return path == Path::Step ? work() : this; }

    Site m_site;
    ConvertChannel &m_channel;
    SiteLogin &m_login;
    QTimer *m_timer3, *m_timer4;
    int m_nextMs = 500, m_refusedMs = 1000, m_reloginMs = 1000;
    // A resume's login failed while the paused run's upload was under way: the run's next tick
    // ends it so.
    std::optional<StepOutcome> m_stopAtTick;
    bool m_shoplinkok = false;
    QString m_shopclickurl;
    // A site that asks for a new login again and again right after one is granted would keep
    // the step on one row for ever.
    qint64 m_reloginRow = 0;
    int m_relogins = 0;
    qint64 m_documentRow = 0;   // the row whose description document failed last, and how often
    int m_documentFailures = 0;
};
