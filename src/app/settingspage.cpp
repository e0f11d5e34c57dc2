#include "app/settingspage.h"
#include "app/uihelpers.h"
#include "session/session.h"
#include "store/initialsettings.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>

namespace {

// Empties an address box that lost the focus while holding an "http://" address.
class LeaveNormaliser : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut)
            if (auto *box = qobject_cast<QLineEdit *>(watched)) {
                const QString t = normaliseOnLeave(box->text());
                if (t != box->text())
                    box->setText(t);
            }
        return false;
    }
};

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
    box->installEventFilter(new LeaveNormaliser(box));
}

SettingsPage::SettingsPage(Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("网站相关设置"), parent), m_session(session)
{
    setObjectName(QStringLiteral("Frame8"));
    auto *grid = new QGridLayout(this);
    grid->setVerticalSpacing(6);

    m_shop = ui::lineEdit(this, "guest_shop", 50);
    m_server = ui::lineEdit(this, "web_server", 50);
    m_user = ui::lineEdit(this, "web_user", 32);
    m_pass = ui::lineEdit(this, "web_pass", 32);
    m_adminpath = ui::lineEdit(this, "web_adminpath", 20);
    m_pass->setEchoMode(QLineEdit::Password);
    m_server->setText(initial::webServer);
    m_user->setText(initial::webUser);
    m_pass->setText(initial::webPass);
    m_adminpath->setText(initial::webAdminPath);
    installAddressNormalisers(m_shop);
    installAddressNormalisers(m_server);

    auto *openShop = ui::button(this, "Command5", QStringLiteral("打开"));
    auto *openServer = ui::button(this, "Command4", QStringLiteral("打开"));
    auto *saveButton = ui::button(this, "XPButton21", QStringLiteral("保存设置"));
    for (auto *b : {openShop, openServer})
        b->setFixedWidth(44);

    int row = 0;
    auto addRow = [&](const QString &label, QLineEdit *box, QAbstractButton *open, bool hint) {
        grid->addWidget(new QLabel(label, this), row, 0);
        grid->addWidget(box, row, 1);
        if (open)
            grid->addWidget(open, row, 2);
        ++row;
        if (hint) {
            auto *h = new QLabel(QStringLiteral("不需要http://"), this);
            h->setStyleSheet(QStringLiteral("color: #808080"));
            grid->addWidget(h, row++, 1);
        }
    };
    addRow(QStringLiteral("店铺地址："), m_shop, openShop, true);
    addRow(QStringLiteral("网站域名："), m_server, openServer, true);
    addRow(QStringLiteral("网站后台帐号："), m_user, nullptr, false);
    addRow(QStringLiteral("登录密码："), m_pass, nullptr, false);
    addRow(QStringLiteral("后台目录："), m_adminpath, nullptr, false);
    grid->addWidget(saveButton, row++, 1, 1, 2, Qt::AlignRight);
    grid->setRowStretch(row, 1);

    connect(openShop, &QAbstractButton::clicked, this, [this] { openAddress(m_shop); });
    connect(openServer, &QAbstractButton::clicked, this, [this] { openAddress(m_server); });
    connect(saveButton, &QAbstractButton::clicked, this, &SettingsPage::save);
}

void SettingsPage::load(const SoftConfig &config)
{
    m_server->setText(config.web_server);
    m_user->setText(config.web_user);
    m_pass->setText(config.web_pass);
    m_adminpath->setText(config.web_adminpath);
}

QString SettingsPage::shopAddress() const
{
    return m_shop->text();
}

void SettingsPage::save()
{
    QString server = m_server->text();
    const FieldCheck c = m_session.saveSiteSettings(m_user->text(), m_pass->text(), server,
                                                    m_adminpath->text());
    m_server->setText(server);
    if (!c.ok())
        if (auto *box = findChild<QLineEdit *>(c.focus))
            box->setFocus();
}
