#include "publish/sitelogin.h"
#include "outside/outside.h"
#include "web/fetch.h"
#include "web/md5.h"
#include "web/text.h"


SiteLogin::SiteLogin(WebService &web, QObject *parent) : Reporter(parent), m_web(web) {}

QString SiteLogin::loginstamp(const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    return QStringLiteral("%1%2%3%4%5%6").arg(d.year()).arg(d.month()).arg(d.day()).arg(t.hour()).arg(t.minute()).arg(t.second());
}

QString SiteLogin::loginAddress(const Account &a, const QString &noid)
{
    const QString digest = splitmd5(a.pass);
    const QString sign = splitmd5(a.user + QLatin1Char('_') + noid + QLatin1Char('_') + digest);
    // A plain account name (letters, digits, * - . @ _) goes in as it is; any other character is
    // escaped in GBK like every other value the site reads, so a name with & or # cannot end the
    // query early and a Chinese name reaches the site as the site decodes it.
    return outside::siteAddress(a.server, outside::loginPath) + QStringLiteral("?username=") + urlencode(a.user)
           + QStringLiteral("&password=") + digest + QStringLiteral("&sha1=") + sign
           + QStringLiteral("&open=1&openurl=") + urlencode(a.shopclickurl);
}

void SiteLogin::webuserlogin(const Account &account, QObject *context, Done done)
{
    m_waiting.emplace_back(context, std::move(done));
    if (m_state != State::Idle)
        return;
    m_account = account;
    m_state = State::Challenge;
    emit status(QStringLiteral("正在登录"));
    const QString address = outside::siteAddress(account.server, outside::loginPath) + QStringLiteral("?t=")
                            + loginstamp(QDateTime::currentDateTime());
    m_web.gethtml(address, QStringLiteral("gb2312"), this, [this](const FetchResult &reply) { advance(reply); });
}

std::optional<QString> SiteLogin::challenge(const QString &reply)
{
    if (!reply.contains(outside::challengeMarker))
        return std::nullopt;
    return QString(reply).remove(outside::challengeMarker);
}

SiteLogin::Result SiteLogin::judge(const QString &reply)
{
    // In this order: a reply with both "OK" and "ERR" is a refusal.
    if (reply.contains(outside::loginRefusedMarker))
        return Result::Refused;
    return reply == outside::loginOk ? Result::LoggedIn : Result::Refused;
}

void SiteLogin::advance(const FetchResult &reply)
{
    const QString failed = QStringLiteral("登录失败，请检查用户名密码设置");
    if (m_state == State::Challenge) {
        const QString error = QStringLiteral("登录错误，请联系软件客服处理");
        // A site that cannot be reached, or answers with an error page, gives no challenge; the
        // status text stays the login's own, the reason goes with it.
        if (!reply.ok()) {
            finish({Result::Unreachable, reply.reason(), reply.detail}, error);
            return;
        }
        const auto noid = challenge(reply.text);
        if (!noid) {
            finish({Result::NoChallenge, {}, {}}, error);
            return;
        }
        m_state = State::Credentials;
        m_web.gethtml(loginAddress(m_account, *noid), QStringLiteral("gb2312"), this,
                      [this](const FetchResult &r) { advance(r); });
        return;
    }
    if (!reply.ok()) {
        finish({Result::Unreachable, reply.reason(), reply.detail}, failed);
        return;
    }
    const Result r = judge(reply.text);
    finish({r, {}, {}}, r == Result::LoggedIn ? QStringLiteral("登录成功") : failed);
}

void SiteLogin::finish(const Answer &outcome, const QString &text)
{
    m_state = State::Idle;
    emit status(text, outcome.reason, outcome.detail);
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto &[context, done] : waiting)
        if (context)
            done(outcome);
}
