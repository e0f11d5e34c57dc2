#pragma once

#include <QGroupBox>

class QLineEdit;
class QAbstractButton;
class Session;
struct SoftConfig;

// "网站相关设置": the shop address and the mirror site's settings.
class SettingsPage : public QGroupBox
{
    Q_OBJECT
public:
    SettingsPage(Session &session, QWidget *parent = nullptr);

    void load(const SoftConfig &config);
    QString shopAddress() const;

    // Adds the address normalisers to a box that holds a bare host name.
    static void installAddressNormalisers(QLineEdit *box);

    // The site boxes differ from what was loaded or last saved.
    bool unsaved() const;
    // XPButton21: true when the settings were checked and stored.
    bool save();

private:
    QStringList siteTexts() const;

    Session &m_session;
    QLineEdit *m_shop, *m_server, *m_user, *m_pass, *m_adminpath, *m_sid;
    QStringList m_saved;   // the site boxes as loaded or last saved
    class QLabel *m_passPlace;
};
