#include "app/mainwindow.h"
#include "app/helpwindow.h"
#include "app/itemeditor.h"
#include "app/itemlistmodel.h"
#include "app/itemlistview.h"
#include "app/listsearch.h"
#include "app/modedialog.h"
#include "app/rulespage.h"
#include "app/settingspage.h"
#include "app/statusline.h"
#include "app/uihelpers.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "collect/manualadd.h"
#include "outside/outside.h"
#include "publish/uploadstep.h"
#include "session/session.h"
#include "base/notifier.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Where the window keeps its geometry and the list's columns, per user (QSettings).
const QString kGeometryKey = QStringLiteral("mainwindow/geometry");
const QString kColumnsKey = QStringLiteral("mainwindow/columns");

// A title in a question stays readable however long the stored one is.
constexpr int kQuestionTitleChars = 60;

} // namespace

QString links::helpPage()
{
    // Beside the program in a build or an unpacked copy; under share/ once installed in a prefix.
    const QString dir = QCoreApplication::applicationDirPath();
    QString page = dir + QStringLiteral("/help.html");
    if (!QFileInfo::exists(page)) {
        const QString installed = QDir::cleanPath(dir + QStringLiteral("/../share/velorix/help.html"));
        if (QFileInfo::exists(installed))
            page = installed;
    }
    return QUrl::fromLocalFile(page).toString();
}

MainWindow::MainWindow(Session &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_model(new ItemListModel(session.db(), this)),
      m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velorix"));
    setMinimumSize(kMinimumSize);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(3, 0, 3, 2);
    column->setSpacing(2);
    buildCollectionPage();
    buildSettingsPage();
    column->addWidget(m_frame1, 1);
    column->addWidget(m_frame3, 1);
    buildBottomRow();
    bindSession();
    restoreLayout();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildBottomRow()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    m_status = new StatusLine(this);
    // How far the running steps are, beside the status line; gone when no step runs.
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setFixedWidth(160);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(true);
    m_progress->hide();
    m_maker = new QLabel(this);
    m_maker->setObjectName(QStringLiteral("Label4"));
    m_maker->setCursor(Qt::PointingHandCursor);
    m_maker->setToolTip(QStringLiteral("欢迎访问Tarnwick官方网站，获取更多软件与服务"));
    m_maker->setTextFormat(Qt::RichText);
    m_maker->setText(QStringLiteral("<a href=\"%1\">Tarnwick · 建站助手</a>").arg(links::makerHomePage));
    m_maker->setOpenExternalLinks(false);
    connect(m_maker, &QLabel::linkActivated, this, [this] { m_open(QUrl(links::makerHomePage)); });

    auto *help = ui::button(this, "XPButton26", QStringLiteral("使用帮助"));
    connect(help, &QAbstractButton::clicked, this, &MainWindow::showHelp);
    m_pageSwitch = ui::button(this, "XPButton25", QStringLiteral("综合设置"));
    connect(m_pageSwitch, &QAbstractButton::clicked, this, &MainWindow::switchPage);
    row->addWidget(m_status, 1);
    row->addWidget(m_progress);
    row->addWidget(m_maker);
    row->addSpacing(6);
    row->addWidget(help);
    row->addWidget(m_pageSwitch);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
}

void MainWindow::bindSession()
{
    connect(&m_session.progress(), &Progress::changed, this, [this](const QString &text) {
        // While a step runs the bar takes the maker's label's place; its tooltip tells all.
        const bool on = !text.isEmpty();
        m_progress->setVisible(on);
        m_maker->setVisible(!on);
        m_progress->setValue(int(m_session.progress().share() * 1000));
        m_progress->setFormat(m_session.progress().brief());
        m_progress->setToolTip(text);
    });
    connect(&m_session, &Session::status, m_status, [this](const QString &text) { m_status->setStatus(text); });
    connect(&m_session, &Session::rowLabelById, m_model, &ItemListModel::setLabelById);
    connect(&m_session, &Session::rowLabel, m_model, &ItemListModel::setLabelByItem);
    connect(&m_session, &Session::refillList, this, &MainWindow::resetlist);
    connect(m_model, &ItemListModel::readFailed, m_status, [this](const DbStatus &why) { m_status->setStatus(why.readFailure()); });
    connect(&m_session.profileWatch(), &ProfileWatch::profileChanged, this, &MainWindow::refillKeepingSelection);
    connect(&m_session, &Session::workTexts, m_editor, &ItemEditor::collected);
    // Each step's button shows the step's state.
    const std::pair<const char *, Step *> stepButtons[] = {
        {"Command1", &m_session.listStep()}, {"command2", &m_session.detailStep()},
        {"command3", &m_session.uploadStep()}, {"XPButton210", &m_session.manualAdd()}};
    for (const auto &[name, step] : stepButtons) {
        auto *button = findChild<QAbstractButton *>(QLatin1String(name));
        Q_ASSERT(button);
        button->setText(step->caption());
        connect(step, &Step::captionChanged, button, &QAbstractButton::setText);
    }
    connect(&m_session, &Session::settingsWanted, this, [this] {
        if (m_pageSwitch->text() == QStringLiteral("综合设置"))
            switchPage();
    });
    connect(&m_session, &Session::modeWanted, this, &MainWindow::showModeDialog);
    connect(&m_session, &Session::manualAdded, m_item, &QLineEdit::clear);

    auto onClick = [this](const char *name, auto action) {
        connect(findChild<QAbstractButton *>(QString::fromLatin1(name)), &QAbstractButton::clicked, this, action);
    };
    onClick("Command1", [this] { m_session.listStep().click(); });
    onClick("command2", [this] { m_session.detailStep().click(); });
    onClick("XPButton210", [this] { m_session.manualAdd().click(m_item->text(), m_pid->text()); });
    onClick("XPButton23", [this] { recollect(); });
    onClick("command3", [this] { m_session.uploadStep().click(); });
    onClick("XPButton24", [this] { m_session.uploadStep().uploadNow(m_session.editorRow()); });
}

void MainWindow::showModeDialog()
{
    // One dialog at a time: a second OK would start the run over in the middle of the first.
    if (auto *open = findChild<ModeDialog *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *dialog = new ModeDialog(this);
    connect(dialog, &ModeDialog::confirmed, this, [this](CollectMode mode) { m_session.listStep().start(mode); });
    dialog->show();
}

void MainWindow::recollect()
{
    // The editor's row, which is the row highlighted; nothing while no row is.
    if (m_model->rowCount() == 0 || selectedRows().isEmpty())
        return;
    m_editor->expectRecollection(m_session.editorItem());
    m_session.recollect(m_session.editorItem());
}

void MainWindow::buildCollectionPage()
{
    m_frame1 = new QGroupBox(QStringLiteral("宝贝采集"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    auto *page = new QVBoxLayout(m_frame1);
    page->setContentsMargins(8, 4, 8, 6);
    page->setSpacing(4);

    auto *steps = new QHBoxLayout;
    const struct { const char *name; const char *caption; } buttons[] = {
        {"Command1", "第一步：列表采集"}, {"command2", "第二步：宝贝采集"}, {"command3", "第三步：更新上传"},
        {"XPButton28", "淘客宝贝"},
    };
    for (const auto &b : buttons) {
        if (QByteArray(b.name) == "XPButton28")
            steps->addStretch(1);
        auto *button = ui::button(m_frame1, b.name, QString::fromUtf8(b.caption));
        button->setMinimumWidth(button->sizeHint().width() + 10);
        steps->addWidget(button);
    }
    page->addLayout(steps);

    // Says that the list is filtered and how much it hides; gone while it shows every row.
    m_filterNote = new QLabel(m_frame1);
    m_filterNote->setObjectName(QStringLiteral("filterNote"));
    m_filterNote->setTextFormat(Qt::RichText);
    m_filterNote->setStyleSheet(QStringLiteral("background: #fff4d6; padding: 2px 4px;"));
    m_filterNote->hide();
    connect(m_filterNote, &QLabel::linkActivated, this, [this] { m_model->setOnlyNeeding(false); });
    page->addWidget(m_filterNote);

    page->addWidget(new ListSearch(m_model, m_frame1));
    m_list = new ItemListView(m_frame1);
    m_list->setModel(m_model);
    m_list->setDefaultWidths();
    page->addWidget(m_list, 1);
    connect(m_list, &QTreeView::doubleClicked, this, &MainWindow::openSelectedItems);
    // A click anywhere in the list counts, below the last row too; the other ways of making a
    // row current load it only when it is another row than the editor's.
    connect(m_list, &ItemListView::leftReleased, this, [this] { chooseRow(true); });
    connect(m_list, &ItemListView::movedByKey, this, [this] { chooseRow(false); });
    connect(m_list, &ItemListView::menuWanted, this, [this](const QPoint &at) {
        chooseRow(false);
        m_menu->popup(at);
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        highlightEditorRow();
        updateFilterNote();
    });
    connect(m_model, &ItemListModel::counted, this, &MainWindow::updateFilterNote);

    // The quick-edit area, and the affiliate-item box over it.
    m_editor = new ItemEditor(m_session, m_frame1);
    m_frame10 = buildAffiliateBox();
    buildMenu();
    auto *lower = new QGridLayout;
    lower->addWidget(m_editor, 0, 0);
    lower->addWidget(m_frame10, 0, 0);
    page->addLayout(lower);
    connect(m_frame1->findChild<QAbstractButton *>(QStringLiteral("XPButton28")), &QAbstractButton::clicked, this,
            [this] { m_frame10->setVisible(!m_frame10->isVisible()); });
}

QGroupBox *MainWindow::buildAffiliateBox()
{
    auto *box = new QGroupBox(QStringLiteral("淘客采集"), m_frame1);
    box->setObjectName(QStringLiteral("Frame10"));
    box->setAutoFillBackground(true);
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->setVerticalSpacing(6);
    m_pid = ui::lineEdit(box, "alimama_pid", 20);
    m_pid->setMinimumWidth(160);
    m_item = ui::lineEdit(box, "alimama_item");
    auto *add = ui::button(box, "XPButton210", QStringLiteral("添加"));
    add->setMinimumWidth(95);
    grid->addWidget(new QLabel(QStringLiteral("淘客PID："), box), 0, 0);
    grid->addWidget(m_pid, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("纯数字形式，可登录淘宝联盟后台查询"), box), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("宝贝地址："), box), 1, 0);
    grid->addWidget(m_item, 1, 1, 1, 2);
    grid->addWidget(add, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("如：%1").arg(outside::itemPageAddress(QStringLiteral("123456789"))), box),
                    2, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    ui::onFocusLeave(m_pid, [this] { m_session.savePublisherId(m_pid->text()); });
    box->hide();
    return box;
}

void MainWindow::buildMenu()
{
    m_menu = new QMenu(QStringLiteral("右键菜单"), this);
    m_menu->setObjectName(QStringLiteral("rightmenu"));
    auto addAction = [this](const char *name, const QString &caption) {
        QAction *a = m_menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QAction *openie = addAction("openie", QStringLiteral("在游览器中打开"));
    connect(openie, &QAction::triggered, this, &MainWindow::openSelectedItems);
    // The menu's re-upload is the editor's upload button: the editor's row is the row the menu
    // was opened on.
    QAction *reupdate = addAction("reupdate", QStringLiteral("重新上传"));
    connect(reupdate, &QAction::triggered, m_editor->uploadButton(), &QAbstractButton::click);
    QAction *delitem = addAction("delitem", QStringLiteral("删除此宝贝"));
    connect(delitem, &QAction::triggered, this, &MainWindow::deleteSelected);
    // The rows that need the operator, and back to all; the captions count them when the menu opens.
    QAction *needing = addAction("showneeding", QString());
    QAction *all = addAction("showall", QString());
    connect(needing, &QAction::triggered, this, [this] { m_model->setOnlyNeeding(true); });
    connect(all, &QAction::triggered, this, [this] { m_model->setOnlyNeeding(false); });
    // Reads the list anew (another program may have changed the profile); a filter stays.
    connect(addAction("refresh", QStringLiteral("刷新")), &QAction::triggered, this, &MainWindow::resetlist);
    connect(addAction("exportcsv", QStringLiteral("导出为CSV…")), &QAction::triggered, this, &MainWindow::exportCsv);
    connect(m_menu, &QMenu::aboutToShow, this, [this, needing, all, openie, reupdate, delitem] {
        const ItemListModel::Counts c = m_model->counts();
        needing->setText(QStringLiteral("只显示需处理的宝贝（上传失败 %1，状态不正常 %2）").arg(c.refused).arg(c.abnormal));
        all->setText(QStringLiteral("显示全部宝贝（共 %1）").arg(c.all));
        // The row actions act on the rows highlighted, and on nothing when none is.
        const bool rows = !selectedRows().isEmpty();
        for (QAction *a : {openie, reupdate, delitem})
            a->setEnabled(rows);
    });
    m_menu->addSeparator()->setObjectName(QStringLiteral("fgf1"));
    connect(addAction("endsoft", QStringLiteral("退出")), &QAction::triggered, this, &QWidget::close);
}

void MainWindow::buildSettingsPage()
{
    m_frame3 = new QGroupBox(QStringLiteral("综合设置"), this);
    m_frame3->setObjectName(QStringLiteral("Frame3"));
    auto *column = new QVBoxLayout(m_frame3);
    // Tight: the page must fit whole in the window's smallest size.
    column->setContentsMargins(6, 0, 6, 2);
    column->setSpacing(2);
    m_settings = new SettingsPage(m_session, m_frame3);
    m_rules = new RulesPage(m_session, m_frame3);
    column->addWidget(m_settings);
    column->addWidget(m_rules);
    column->addStretch(1);
    m_frame3->hide();
}

void MainWindow::restoreLayout()
{
    const QSettings settings;
    if (!restoreGeometry(settings.value(kGeometryKey).toByteArray()))
        resize(kDefaultSize);
    m_list->header()->restoreState(settings.value(kColumnsKey).toByteArray());
    m_list->restoreSort(settings);
}

void MainWindow::saveLayout() const
{
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kColumnsKey, m_list->header()->saveState());
    m_list->saveSort(settings);
}

void MainWindow::load(const QString &profilePath)
{
    // What the start-up says first; a read that fails afterwards says so in its place.
    const QString opened = m_session.opendb(profilePath);
    m_status->setStatus(opened);
    getsoftinfo();
    resetlist();
    if (opened == Session::welcomeText())
        if (const auto config = m_session.db().loadSettings(); config)
            showStartNote(config.value);
    if (const QString problem = outside::connectToProblem(); !problem.isEmpty())
        m_status->setStatus(problem);
}

void MainWindow::getsoftinfo()
{
    const auto config = m_session.getsoftinfo();
    if (!config || !config.value)
        return;
    m_pid->setText(config.value->alimama);
    m_rules->load(*config.value);
    m_settings->load(*config.value);
}

void MainWindow::resetlist()
{
    if (const DbStatus read = m_model->refill(); !read && m_session.db().isOpen())
        m_status->setStatus(read.readFailure());
}

void MainWindow::refillKeepingSelection()
{
    m_list->refillKeeping([this] { resetlist(); });
}

QString MainWindow::editorTag() const
{
    return QString::number(m_session.editorRow());
}

void MainWindow::switchPage()
{
    const bool toSettings = m_pageSwitch->text() == QStringLiteral("综合设置");
    if (!toSettings && !settingsSettled())
        return;
    m_frame1->setVisible(!toSettings);
    m_frame3->setVisible(toSettings);
    m_pageSwitch->setText(toSettings ? QStringLiteral("宝贝采集") : QStringLiteral("综合设置"));
}

QStringList MainWindow::unsavedParts() const
{
    QStringList parts;
    if (m_settings->unsaved())
        parts << QStringLiteral("网站设置");
    if (m_rules->unsaved())
        parts << QStringLiteral("替换规则");
    return parts;
}

bool MainWindow::settingsSettled()
{
    // Leaving the page with changes asks whether to save them; No leaves them as they are
    // (the exit question names them again). A save that fails its checks keeps the page.
    const QStringList parts = unsavedParts();
    if (parts.isEmpty())
        return true;
    if (!m_session.notifier().ask(QStringLiteral("%1已修改，尚未保存。是否现在保存？").arg(parts.join(QStringLiteral("和"))),
                                  QStringLiteral("保存设置")))
        return true;
    if (m_settings->unsaved() && !m_settings->save())
        return false;
    return !m_rules->unsaved() || m_rules->save();
}

QString MainWindow::exitQuestion() const
{
    QStringList running;
    if (m_session.listStep().running())
        running << QStringLiteral("第一步（列表采集）");
    if (m_session.detailStep().running())
        running << QStringLiteral("第二步（宝贝采集）");
    if (m_session.uploadStep().running())
        running << QStringLiteral("第三步（更新上传）");
    QString text;
    if (!running.isEmpty())
        text += QStringLiteral("%1正在运行，退出将中止正在进行的工作。\n").arg(running.join(QStringLiteral("、")));
    const QStringList unsaved = unsavedParts();
    if (!unsaved.isEmpty())
        text += QStringLiteral("%1尚未保存，退出后这些修改将丢失。\n").arg(unsaved.join(QStringLiteral("和")));
    return text + QStringLiteral("是否确定退出？");
}

QList<int> MainWindow::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &i : m_list->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::openSelectedItems()
{
    for (int r : selectedRows())
        m_open(QUrl(outside::itemPageAddress(m_model->row(r).item)));
}

int MainWindow::operatorRow() const
{
    // The row the operator made current, when it is highlighted; else the last one highlighted.
    const QModelIndex current = m_list->currentIndex();
    if (current.isValid() && m_list->selectionModel()->isRowSelected(current.row(), {}))
        return current.row();
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.last();
}

void MainWindow::chooseRow(bool reloadSame)
{
    if (m_model->rowCount() == 0)
        return;
    m_frame10->hide();
    const int r = operatorRow();
    if (r < 0)
        return;
    const qint64 id = m_model->row(r).id;
    if (!reloadSame && id == m_session.editorRow())
        return;
    m_editor->load(m_session.loadEditorRow(id));
}

void MainWindow::highlightEditorRow()
{
    // A refill loses the selection; the editor's row, where it is shown, is highlighted again
    // so that the buttons and the menu act on the row the operator sees.
    m_list->highlightRow(m_session.editorRow());
}

void MainWindow::updateFilterNote()
{
    m_filterNote->setVisible(m_model->onlyNeeding());
    m_filterNote->setText(QStringLiteral("只显示需处理的宝贝，另有 %1 个宝贝未显示。 <a href=\"all\">显示全部</a>")
                              .arg(m_model->hiddenCount()));
}

void MainWindow::deleteSelected()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QString question;
    if (rows.size() == 1) {
        const ItemListRow r = m_model->row(rows.first());
        QString title = r.title;
        if (title.size() > kQuestionTitleChars)
            title = title.left(kQuestionTitleChars) + QStringLiteral("…");
        question = QStringLiteral("是否确定删除此宝贝？\n%1（宝贝ID：%2）").arg(title, r.item);
    } else {
        question = QStringLiteral("是否确定删除选中的%1个宝贝？").arg(rows.size());
    }
    if (!m_session.notifier().ask(question, QStringLiteral("删除")))
        return;
    QList<qint64> ids;
    for (int r : rows)
        ids << m_model->row(r).id;
    m_session.deleteItems(ids);
    resetlist();
}

void MainWindow::showHelp()
{
    const QUrl page(links::helpPage());
    if (m_open(page))
        return;
    // No browser could be started: the guide opens inside the program.
    if (auto *open = findChild<HelpWindow *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    (new HelpWindow(page.toLocalFile(), this))->show();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_session.notifier().ask(exitQuestion(), QStringLiteral("退出"))) {
        event->ignore();
        return;
    }
    saveLayout();
    m_session.db().close();
    event->accept();
    QCoreApplication::quit();
}
