#pragma once

#include <QWidget>
#include <memory>

class ItemListModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QAbstractButton;
class QTreeView;
class RulesPage;
class Session;
class SettingsPage;

// Addresses the window opens in the browser.
namespace links {
// The maker's home page.
inline const QString makerHomePage = QStringLiteral("http://www.tarnwick.example/");
// The user guide: beside the program, else in ../share/velorix/ from it.
QString helpPage();
}

// Form1: the one main window. It shows what the session holds and forwards the operator's
// actions to it; it keeps no logic of its own beyond showing.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(Session &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The window's load: opens the profile, loads the settings and fills the list.
    void load(const QString &profilePath);

    void resetlist();
    ItemListModel *model() const { return m_model; }
    QString editorTag() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildCollectionPage();
    void buildSettingsPage();
    void getsoftinfo();
    void switchPage();
    void openSelectedItems();
    void listClicked();
    void saveEdit();
    void deleteSelected();
    void recollect();
    void bindSession();
    void showModeDialog();
    QList<int> selectedRows() const;

    Session &m_session;
    ItemListModel *m_model;
    QGroupBox *m_frame1, *m_frame2, *m_frame3, *m_frame10;
    QTreeView *m_list;
    QLineEdit *m_webTitle, *m_webKey, *m_webDoc, *m_pid, *m_item;
    QAbstractButton *m_pageSwitch;
    QLabel *m_status;
    QProgressBar *m_progress;
    QLabel *m_maker;
    QMenu *m_menu;
    SettingsPage *m_settings;
    RulesPage *m_rules;
};
