#include "app/settingspage.h"
#include "app/uihelpers.h"
#include "session/session.h"
#include "store/initialsettings.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>

namespace {

constexpr int kPassPlaceWidth = 300;

void openAddress(const QLineEdit *box)
{
    const QString address = browserAddress(box->text());
    if (!address.isEmpty())
        QDesktopServices::openUrl(QUrl(address));
}

} // namespace

void SettingsPage::installAddressNormalisers(QLineEdit *box)
{
    connect(box, &QLineEdit::textChanged, box, [box](const QString &text) {
        const QString t = normaliseOnChange(text);
        if (t != text)
            box->setText(t);
    });
    ui::onFocusLeave(box, [box] {
        const QString t = normaliseOnLeave(box->text());
        if (t != box->text())
            box->setText(t);
    });
}

SettingsPage::SettingsPage(Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("网站相关设置"), parent), m_session(session)
{
    setObjectName(QStringLiteral("Frame8"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 2, 8, 3);
    grid->setVerticalSpacing(3);

    m_shop = ui::lineEdit(this, "guest_shop", 50);
    m_server = ui::lineEdit(this, "web_server", 50);
    m_user = ui::lineEdit(this, "web_user", 32);
    m_pass = ui::lineEdit(this, "web_pass", 32);
    m_adminpath = ui::lineEdit(this, "web_adminpath", 20);
    m_sid = ui::lineEdit(this, "shopsid", 20);
    m_sid->setToolTip(QStringLiteral("店铺的卖家数字ID，用于获取店铺推广链接"));
    m_server->setToolTip(QStringLiteral("网站域名，可带端口和网站所在目录，如 www.example.com:8080/shop"));
    m_pass->setEchoMode(QLineEdit::Password);
    m_server->setText(initial::webServer);
    m_user->setText(initial::webUser);
    m_pass->setText(initial::webPass);
    m_adminpath->setText(initial::webAdminPath);
    // The shop and its seller ID are kept for the next start when their box is left; the
    // address is emptied of an "http://" first, by the normaliser installed after.
    connect(m_shop, &QLineEdit::textChanged, this, [this](const QString &t) { m_session.setShopAddress(t); });
    ui::onFocusLeave(m_shop, [this] { m_session.saveShopAddress(m_shop->text()); });
    connect(m_sid, &QLineEdit::textChanged, this, [this](const QString &t) { m_session.setShopSid(t); });
    ui::onFocusLeave(m_sid, [this] { m_session.saveShopSid(m_sid->text()); });
    installAddressNormalisers(m_shop);
    installAddressNormalisers(m_server);

    auto *openShop = ui::button(this, "Command5", QStringLiteral("打开"));
    auto *openServer = ui::button(this, "Command4", QStringLiteral("打开"));
    auto *saveButton = ui::button(this, "XPButton21", QStringLiteral("保存设置"));
    for (auto *b : {openShop, openServer})
        b->setFixedWidth(44);

    // An address box shows a whole address of its 50 characters.
    const int addressWidth = fontMetrics().horizontalAdvance(QString(50, QLatin1Char('x'))) + 12;
    for (QLineEdit *box : {m_shop, m_server})
        box->setMinimumWidth(addressWidth);
    auto hint = [this] {
        auto *h = new QLabel(QStringLiteral("不需要http://"), this);
        h->setStyleSheet(QStringLiteral("color: #808080"));
        return h;
    };
    auto pair = [this](const QString &label, QLineEdit *box, QWidget *after) {
        auto *row = new QHBoxLayout;
        row->addWidget(box, 1);
        if (after) {
            row->addSpacing(12);
            row->addWidget(new QLabel(label, this));
            row->addWidget(after, 1);
        }
        return row;
    };
    // Four rows, so that the rules below fit on the page at the window's smallest size.
    grid->addWidget(new QLabel(QStringLiteral("店铺地址："), this), 0, 0);
    grid->addWidget(m_shop, 0, 1);
    grid->addWidget(openShop, 0, 2);
    grid->addWidget(hint(), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("网站域名："), this), 1, 0);
    grid->addWidget(m_server, 1, 1);
    grid->addWidget(openServer, 1, 2);
    grid->addWidget(hint(), 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("网站后台帐号："), this), 2, 0);
    grid->addLayout(pair(QStringLiteral("登录密码："), m_user, m_pass), 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("后台目录："), this), 3, 0);
    grid->addLayout(pair(QStringLiteral("店铺ID："), m_adminpath, m_sid), 3, 1);
    grid->addWidget(saveButton, 3, 2, 1, 2, Qt::AlignLeft);
    // Where the password is kept: the keyring, or the profile when no keyring answered.
    m_passPlace = new QLabel(this);
    m_passPlace->setObjectName(QStringLiteral("passplace"));
    m_passPlace->setStyleSheet(QStringLiteral("color: #808080"));
    grid->addWidget(m_passPlace, 2, 2, 1, 2);
    SitePassword &password = m_session.password();
    // A keyring's own words can be long: the label keeps its room, the tooltip has them all.
    connect(&password, &SitePassword::placeChanged, this, [this, &password] {
        const QString text = password.placeText();
        m_passPlace->setText(m_passPlace->fontMetrics().elidedText(text, Qt::ElideRight, kPassPlaceWidth));
        m_passPlace->setToolTip(text);
    });
    // The keyring answers after the page was filled: its password takes the box, unless the
    // operator has typed one meanwhile.
    connect(&password, &SitePassword::known, this, [this, &password] {
        if (m_pass->text() != m_saved.value(2))
            return;
        m_pass->setText(password.pass());
        m_saved = siteTexts();
    });
    grid->setColumnStretch(3, 1);

    connect(openShop, &QAbstractButton::clicked, this, [this] { openAddress(m_shop); });
    connect(openServer, &QAbstractButton::clicked, this, [this] { openAddress(m_server); });
    connect(saveButton, &QAbstractButton::clicked, this, &SettingsPage::save);
    m_saved = siteTexts();
}

QStringList SettingsPage::siteTexts() const
{
    return {m_server->text(), m_user->text(), m_pass->text(), m_adminpath->text()};
}

bool SettingsPage::unsaved() const
{
    return siteTexts() != m_saved;
}

void SettingsPage::load(const SoftConfig &config)
{
    m_shop->setText(config.guest_shop);
    m_sid->setText(config.shopsid);
    m_server->setText(config.web_server);
    m_user->setText(config.web_user);
    m_pass->setText(config.passInKeyring() ? m_session.webpass() : config.web_pass);
    m_adminpath->setText(config.web_adminpath);
    m_saved = siteTexts();
}

QString SettingsPage::shopAddress() const
{
    return m_shop->text();
}

bool SettingsPage::save()
{
    QString server = m_server->text();
    const FieldCheck c = m_session.saveSiteSettings(m_user->text(), m_pass->text(), server,
                                                    m_adminpath->text());
    m_server->setText(server);
    if (!c.ok()) {
        if (auto *box = findChild<QLineEdit *>(c.focus))
            box->setFocus();
        return false;
    }
    m_saved = siteTexts();
    return true;
}
