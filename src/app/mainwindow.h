#pragma once

#include <QWidget>
#include <functional>
#include <optional>

struct SoftConfig;

class ItemEditor;
class ItemListModel;
class ItemListView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QAbstractButton;
class QUrl;
class RulesPage;
class Session;
class SettingsPage;
class StatusLine;

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
    // The window's size at its first start, and the smallest it can be made.
    static constexpr QSize kDefaultSize{960, 640};
    static constexpr QSize kMinimumSize{660, 433};

    explicit MainWindow(Session &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The window's load: opens the profile, loads the settings and fills the list.
    void load(const QString &profilePath);

    void resetlist();
    // The list read anew after another process changed the profile: the rows highlighted, the
    // current one and the place in the list stay, and so does the editor's row.
    void refillKeepingSelection();
    ItemListModel *model() const { return m_model; }
    QString editorTag() const;

    // How addresses are handed to the desktop; false when no browser could be started.
    using UrlOpener = std::function<bool(const QUrl &)>;
    void setUrlOpener(UrlOpener open) { m_open = std::move(open); }
    // Where an export goes; empty: none. A file dialog asks unless a chooser is set here.
    using PathChooser = std::function<QString()>;
    void setExportPathChooser(PathChooser choose) { m_chooseExportPath = std::move(choose); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildCollectionPage();
    QGroupBox *buildAffiliateBox();
    void buildMenu();
    void exportCsv();
    // The status line after the start: the first steps on a new profile, else how the last
    // unattended run ended.
    void showStartNote(const std::optional<SoftConfig> &config);
    void buildSettingsPage();
    void buildBottomRow();
    void getsoftinfo();
    void switchPage();
    bool settingsSettled();
    QStringList unsavedParts() const;
    QString exitQuestion() const;
    void openSelectedItems();
    void chooseRow(bool reloadSame);
    int operatorRow() const;
    void highlightEditorRow();
    void updateFilterNote();
    void deleteSelected();
    void recollect();
    void showHelp();
    void bindSession();
    void showModeDialog();
    void restoreLayout();
    void saveLayout() const;
    QList<int> selectedRows() const;

    Session &m_session;
    ItemListModel *m_model;
    UrlOpener m_open;
    PathChooser m_chooseExportPath;
    class CsvExport *m_csvExport = nullptr;
    QGroupBox *m_frame1, *m_frame3, *m_frame10;
    ItemEditor *m_editor;
    ItemListView *m_list;
    QLabel *m_filterNote;
    QLineEdit *m_pid, *m_item;
    QAbstractButton *m_pageSwitch;
    StatusLine *m_status;
    QProgressBar *m_progress;
    QLabel *m_maker;
    QMenu *m_menu;
    SettingsPage *m_settings;
    RulesPage *m_rules;
};
