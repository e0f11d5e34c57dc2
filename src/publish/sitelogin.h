#pragma once

#include "base/step.h"

#include <QDateTime>
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

class WebService;

// The mirror site's admin login (webuserlogin): a challenge fetched first, then the account,
// the password digest and a signature over the challenge. The site keeps the login in its
// cookies, which the fetch service carries to the uploads.
class SiteLogin : public Reporter
{
    Q_OBJECT
public:
    struct Account {
        QString server, user, pass, shopclickurl;
    };
    // Unreachable: a request brought no answer (none at all, or an error page).
    enum class Result { LoggedIn, Refused, NoChallenge, Unreachable };
    struct Answer {
        Result result = Result::Refused;
        QString reason, detail;   // why an Unreachable login failed
        bool loggedIn() const { return result == Result::LoggedIn; }
    };
    using Done = std::function<void(const Answer &)>;

    explicit SiteLogin(WebService &web, QObject *parent = nullptr);

    // Logs in; a login asked for while one is under way shares its result (the site has one
    // challenge per visitor, so two at once would spoil each other).
    void webuserlogin(const Account &account, QObject *context, Done done);

    // The local time as year, month, day, hour, minute, second run together, no leading zeros.
    static QString loginstamp(const QDateTime &now);
    // The second request's address.
    static QString loginAddress(const Account &a, const QString &noid);
    // The challenge of the first reply (the reply without its "NOID:" marks), nullopt when the
    // reply has none; and what the second reply says.
    static std::optional<QString> challenge(const QString &reply);
    static Result judge(const QString &reply);

private:
    enum class State { Idle, Challenge, Credentials };
    void advance(const FetchResult &reply);
    void finish(const Answer &answer, const QString &text);

    WebService &m_web;
    State m_state = State::Idle;
    Account m_account;
    std::vector<std::pair<QPointer<QObject>, Done>> m_waiting;
};
