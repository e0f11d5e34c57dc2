#include "app/listsearch.h"
#include "app/itemlistmodel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>

namespace {
// What goes into the search: the longest item ID or title anyone pastes, not a whole page.
constexpr int kMaxChars = 100;
}

ListSearch::ListSearch(ItemListModel *model, QWidget *parent)
    : QWidget(parent), m_model(model), m_box(new QLineEdit(this)), m_count(new QLabel(this)), m_wait(new QTimer(this))
{
    setObjectName(QStringLiteral("listSearchBar"));
    m_box->setObjectName(QStringLiteral("listSearch"));
    m_box->setPlaceholderText(QStringLiteral("输入宝贝ID或标题中的文字查找（Ctrl+F）"));
    m_box->setClearButtonEnabled(true);
    m_box->setMaxLength(kMaxChars);
    m_count->setObjectName(QStringLiteral("listCount"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("查找："), this));
    row->addWidget(m_box, 1);
    row->addSpacing(8);
    row->addWidget(m_count);

    m_wait->setSingleShot(true);
    m_wait->setInterval(kDelayMs);
    connect(m_wait, &QTimer::timeout, this, &ListSearch::search);
    connect(m_box, &QLineEdit::textChanged, m_wait, qOverload<>(&QTimer::start));
    auto *find = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        m_box->setFocus(Qt::ShortcutFocusReason);
        m_box->selectAll();
    });
    auto *clear = new QShortcut(QKeySequence(Qt::Key_Escape), m_box, nullptr, nullptr, Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, this, [this] {
        m_box->clear();
        search();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &ListSearch::showCount);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ListSearch::showCount);
    connect(m_model, &ItemListModel::counted, this, &ListSearch::showCount);
    showCount();
}

void ListSearch::setDelay(int ms)
{
    m_wait->setInterval(ms);
}

void ListSearch::search()
{
    m_wait->stop();
    m_model->setSearch(m_box->text().trimmed());
}

void ListSearch::showCount()
{
    const qint64 shown = m_model->rowCount(), all = m_model->totalCount();
    if (m_model->counting())
        m_count->setText(QStringLiteral("显示 %1 个以上（正在计数），共 %2 个宝贝").arg(shown).arg(all));
    else
        m_count->setText(shown == all ? QStringLiteral("共 %1 个宝贝").arg(all)
                                      : QStringLiteral("显示 %1 个，共 %2 个宝贝").arg(shown).arg(all));
}
