#include "app/mainwindow.h"
#include "app/itemlistmodel.h"
#include "app/modedialog.h"
#include "app/rulespage.h"
#include "app/settingspage.h"
#include "app/uihelpers.h"
#include "outside/outside.h"
#include "session/session.h"
#include "collect/detailstep.h"
#include "collect/liststep.h"
#include "collect/manualadd.h"
#include "publish/uploadstep.h"
#include "web/notifier.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QVBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QMouseEvent>
#include <QTreeView>
#include <QUrl>

namespace {

constexpr int kTwipsPerPixel = 15;

QLabel *label(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(geometry);
    return l;
}

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
    : QWidget(parent), m_session(session), m_model(new ItemListModel(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velorix"));
    setFixedSize(660, 433);

    buildCollectionPage();
    buildSettingsPage();

    m_status = label(this, QString(), QRect(6, 410, 360, 20));
    m_status->setObjectName(QStringLiteral("Label1"));
    // How far the running steps are, beside the status line; gone when no step runs.
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setGeometry(370, 411, 138, 18);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(true);
    m_progress->hide();
    auto *maker = m_maker = label(this, QStringLiteral("Tarnwick · 建站助手"), QRect(370, 410, 140, 20));
    maker->setObjectName(QStringLiteral("Label4"));
    maker->setCursor(Qt::PointingHandCursor);
    maker->setToolTip(QStringLiteral("欢迎访问Tarnwick官方网站，获取更多软件与服务"));
    maker->setTextFormat(Qt::RichText);
    maker->setText(QStringLiteral("<a href=\"%1\">Tarnwick · 建站助手</a>").arg(links::makerHomePage));
    maker->setOpenExternalLinks(false);
    connect(maker, &QLabel::linkActivated, this, [] { QDesktopServices::openUrl(QUrl(links::makerHomePage)); });

    auto *help = ui::button(this, "XPButton26", QStringLiteral("使用帮助"));
    help->setGeometry(512, 408, 70, 24);
    connect(help, &QAbstractButton::clicked, this, [] { QDesktopServices::openUrl(QUrl(links::helpPage())); });
    m_pageSwitch = ui::button(this, "XPButton25", QStringLiteral("综合设置"));
    m_pageSwitch->setGeometry(585, 408, 70, 24);
    connect(m_pageSwitch, &QAbstractButton::clicked, this, &MainWindow::switchPage);

    bindSession();
}

MainWindow::~MainWindow() = default;

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
    connect(&m_session, &Session::status, m_status, [this](const QString &text) { m_status->setText(text); });
    connect(&m_session, &Session::rowLabelById, m_model, &ItemListModel::setLabelById);
    connect(&m_session, &Session::rowLabel, m_model, &ItemListModel::setLabelByItem);
    connect(&m_session, &Session::refillList, this, &MainWindow::resetlist);
    connect(&m_session, &Session::workTexts, this, [this](const QString &title, const QString &doc, const QString &key) {
        m_webTitle->setText(title);
        m_webDoc->setText(doc);
        m_webKey->setText(key);
    });
    connect(&m_session, &Session::caption, this, [this](const QString &control, const QString &text) {
        if (auto *b = findChild<QAbstractButton *>(control))
            b->setText(text);
    });
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
    if (m_model->rowCount() == 0)
        return;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    m_session.recollect(m_model->row(rows.first()).item);
}

void MainWindow::buildCollectionPage()
{
    m_frame1 = new QGroupBox(QStringLiteral("宝贝采集"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(3, 0, 9795 / kTwipsPerPixel, 6105 / kTwipsPerPixel);

    const struct { const char *name; const char *caption; int x, w; } steps[] = {
        {"Command1", "第一步：列表采集", 8, 130},
        {"command2", "第二步：宝贝采集", 144, 130},
        {"command3", "第三步：更新上传", 280, 130},
        {"XPButton28", "淘客宝贝", 560, 85},
    };
    for (const auto &s : steps)
        ui::button(m_frame1, s.name, QString::fromUtf8(s.caption))->setGeometry(s.x, 20, s.w, 26);
    connect(m_frame1->findChild<QAbstractButton *>(QStringLiteral("XPButton28")), &QAbstractButton::clicked, this,
            [this] { m_frame10->setVisible(!m_frame10->isVisible()); });

    m_list = new QTreeView(m_frame1);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setGeometry(8, 52, 637, 210);
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);
    for (int c = 0; c < ItemListModel::ColumnCount; ++c)
        m_list->setColumnWidth(c, ItemListModel::widthTwips(c) / kTwipsPerPixel);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    // A click anywhere in the list counts, below the last row too, not only one on a row.
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTreeView::doubleClicked, this, &MainWindow::openSelectedItems);

    m_menu = new QMenu(QStringLiteral("右键菜单"), this);
    m_menu->setObjectName(QStringLiteral("rightmenu"));
    auto addAction = [this](const char *name, const QString &caption) {
        QAction *a = m_menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    connect(addAction("openie", QStringLiteral("在游览器中打开")), &QAction::triggered, this,
            &MainWindow::openSelectedItems);
    QAction *reupdate = addAction("reupdate", QStringLiteral("重新上传"));
    connect(addAction("delitem", QStringLiteral("删除此宝贝")), &QAction::triggered, this,
            &MainWindow::deleteSelected);
    // The rows that need the operator, and back to all; the captions count them when the menu opens.
    QAction *needing = addAction("showneeding", QString());
    QAction *all = addAction("showall", QString());
    connect(needing, &QAction::triggered, this, [this] { m_model->setOnlyNeeding(true); });
    connect(all, &QAction::triggered, this, [this] { m_model->setOnlyNeeding(false); });
    connect(m_menu, &QMenu::aboutToShow, this, [this, needing, all] {
        const ItemListModel::Counts c = m_model->counts();
        needing->setText(QStringLiteral("只显示需处理的宝贝（上传失败 %1，状态不正常 %2）").arg(c.refused).arg(c.abnormal));
        all->setText(QStringLiteral("显示全部宝贝（共 %1）").arg(c.all));
    });
    m_menu->addSeparator()->setObjectName(QStringLiteral("fgf1"));
    connect(addAction("endsoft", QStringLiteral("退出")), &QAction::triggered, this, &QWidget::close);
    connect(m_list, &QTreeView::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(m_list->viewport()->mapToGlobal(pos)); });

    // The quick-edit area.
    m_frame2 = new QGroupBox(QStringLiteral("快捷编辑区"), m_frame1);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_frame2->setGeometry(8, 266, 637, 135);
    const struct { const char *name; const char *label; const char *tip; int y; } boxes[] = {
        {"web_title", "网页标题：", "一般不超过80个字符", 22},
        {"web_key", "关键词：", "一般不超过100个字符", 56},
        {"web_doc", "页面描述：", "一般不超过200个字符", 90},
    };
    QLineEdit *edits[3];
    for (int i = 0; i < 3; ++i) {
        label(m_frame2, QString::fromUtf8(boxes[i].label), QRect(8, boxes[i].y, 70, 24));
        edits[i] = ui::textBox(m_frame2, boxes[i].name, kWorkTextLimit);
        edits[i]->setToolTip(QString::fromUtf8(boxes[i].tip));
        edits[i]->setGeometry(80, boxes[i].y, 440, 24);
    }
    m_webTitle = edits[0];
    m_webKey = edits[1];
    m_webDoc = edits[2];
    auto *save = ui::button(m_frame2, "XPButton22", QStringLiteral("保存"));
    auto *recollect = ui::button(m_frame2, "XPButton23", QStringLiteral("重新采集"));
    auto *upload = ui::button(m_frame2, "XPButton24", QStringLiteral("更新上传"));
    save->setGeometry(530, 20, 95, 26);
    recollect->setGeometry(530, 54, 95, 26);
    upload->setGeometry(530, 88, 95, 26);
    connect(save, &QAbstractButton::clicked, this, &MainWindow::saveEdit);
    // The context menu's re-upload is the editor's upload button.
    connect(reupdate, &QAction::triggered, upload, &QAbstractButton::click);

    // The affiliate-item box lies over the quick-edit area.
    m_frame10 = new QGroupBox(QStringLiteral("淘客采集"), m_frame1);
    m_frame10->setObjectName(QStringLiteral("Frame10"));
    m_frame10->setGeometry(m_frame2->geometry());
    m_frame10->setAutoFillBackground(true);
    label(m_frame10, QStringLiteral("淘客PID："), QRect(8, 22, 70, 24));
    m_pid = ui::lineEdit(m_frame10, "alimama_pid", 20);
    m_pid->setGeometry(80, 22, 160, 24);
    label(m_frame10, QStringLiteral("纯数字形式，可登录淘宝联盟后台查询"), QRect(248, 22, 300, 24));
    label(m_frame10, QStringLiteral("宝贝地址："), QRect(8, 56, 70, 24));
    m_item = ui::lineEdit(m_frame10, "alimama_item");
    m_item->setGeometry(80, 56, 440, 24);
    label(m_frame10, QStringLiteral("如：%1").arg(outside::itemPageAddress(QStringLiteral("123456789"))),
          QRect(80, 84, 440, 20));
    ui::button(m_frame10, "XPButton210", QStringLiteral("添加"))->setGeometry(530, 56, 95, 26);
    ui::onFocusLeave(m_pid, [this] { m_session.savePublisherId(m_pid->text()); });
    m_frame10->hide();
}

void MainWindow::buildSettingsPage()
{
    m_frame3 = new QGroupBox(QStringLiteral("综合设置"), this);
    m_frame3->setObjectName(QStringLiteral("Frame3"));
    m_frame3->setGeometry(m_frame1->geometry());
    auto *column = new QVBoxLayout(m_frame3);
    column->setContentsMargins(6, 2, 6, 4);
    column->setSpacing(2);
    m_settings = new SettingsPage(m_session, m_frame3);
    m_rules = new RulesPage(m_session, m_frame3);
    column->addWidget(m_settings);
    column->addWidget(m_rules, 1);
    m_frame3->hide();
}

void MainWindow::load(const QString &profilePath)
{
    // What the start-up says first; a read that fails afterwards says so in its place.
    m_status->setText(m_session.opendb(profilePath));
    getsoftinfo();
    resetlist();
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
    auto rows = m_session.db().listRows();
    if (!rows && m_session.db().isOpen())
        m_status->setText(rows.readFailure());
    m_model->setRows(std::move(rows.value));
}

QString MainWindow::editorTag() const
{
    return QString::number(m_session.editorRow());
}

void MainWindow::switchPage()
{
    const bool toSettings = m_pageSwitch->text() == QStringLiteral("综合设置");
    m_frame1->setVisible(!toSettings);
    m_frame3->setVisible(toSettings);
    m_pageSwitch->setText(toSettings ? QStringLiteral("宝贝采集") : QStringLiteral("综合设置"));
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
        QDesktopServices::openUrl(QUrl(outside::itemPageAddress(m_model->row(r).item)));
}

void MainWindow::listClicked()
{
    if (m_model->rowCount() == 0)
        return;
    m_frame10->hide();
    for (int r : selectedRows()) {
        const qint64 id = m_model->row(r).id;
        const Session::EditorRow row = m_session.loadEditorRow(id);
        if (!row.found)
            continue;
        m_webTitle->setText(row.webTitle);
        m_webKey->setText(row.webKey);
        m_webDoc->setText(row.webDoc);
    }
}

void MainWindow::saveEdit()
{
    const FieldCheck c = m_session.saveEdit(m_webTitle->text(), m_webKey->text(), m_webDoc->text());
    if (!c.ok())
        if (auto *box = m_frame2->findChild<QLineEdit *>(c.focus))
            box->setFocus();
}

void MainWindow::deleteSelected()
{
    if (m_model->rowCount() == 0)
        return;
    if (!m_session.notifier().ask(QStringLiteral("是否确定删除此宝贝？"), QStringLiteral("删除")))
        return;
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        m_session.deleteItem(m_model->row(rows.first()).id);
    resetlist();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        listClicked();
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_session.notifier().ask(QStringLiteral("是否确定退出？"), QStringLiteral("退出"))) {
        event->ignore();
        return;
    }
    m_session.db().close();
    event->accept();
    QCoreApplication::quit();
}
