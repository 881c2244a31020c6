#include "LineMonitorWindow.h"

#include "DataFile.h"
#include "Exception.h"
#include "LineMonitor.h"
#include "LineMonitorModel.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

LineMonitorWindow::LineMonitorWindow(LineMonitor *monitor, UserDialogs &dialogs, QWidget *parent,
                                     const LineMonitorTexts &texts)
    : QWidget(parent, Qt::Window), m_monitor(monitor), m_dialogs(dialogs), m_texts(texts),
      m_model(new LineMonitorModel(monitor, this)), m_view(new QListView(this)),
      m_buttons(new QWidget(this))
{
    setObjectName(QStringLiteral("LineMonitorWindow"));
    setWindowTitle(m_texts.title);
    m_saveDialog = {QStringLiteral("LineMonitorSaveDialog"),
                    m_texts.saveFilter,
                    QStringLiteral("txt"),
                    true,
                    {}};

    m_view->setObjectName(QStringLiteral("LineMonitorView"));
    m_view->setModel(m_model);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // One line an entry, all alike: the view lays out 64 KiB of traffic
    // without measuring each row.
    m_view->setUniformItemSizes(true);
    m_view->setWordWrap(false);
    m_view->setMinimumSize(640, 240);
    // New entries scroll into view only while the user looks at the end.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_view->verticalScrollBar();
        m_following = bar->value() == bar->maximum();
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_following)
            m_view->scrollToBottom();
    });

    auto *row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(0, 0, 0, 0);
    connect(addButton(QStringLiteral("copyButton"), m_texts.copy), &QPushButton::clicked, this,
            &LineMonitorWindow::copyAll);
    connect(addButton(QStringLiteral("saveButton"), m_texts.save), &QPushButton::clicked, this,
            &LineMonitorWindow::saveAs);
    connect(addButton(QStringLiteral("clearButton"), m_texts.clear), &QPushButton::clicked, this,
            &LineMonitorWindow::clearLog);
    row->addStretch();
    connect(addButton(QStringLiteral("closeButton"), m_texts.close), &QPushButton::clicked, this,
            &QWidget::close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_buttons);

    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    setFocusProxy(m_view);
    m_view->scrollToBottom();
}

QPushButton *LineMonitorWindow::addButton(const QString &name, const QString &text)
{
    auto *button = new QPushButton(text, m_buttons);
    button->setObjectName(name);
    // Reached with Tab and shown with its focus frame, as the list is.
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(false);
    m_buttons->layout()->addWidget(button);
    return button;
}

void LineMonitorWindow::copyAll()
{
    if (m_monitor)
        QGuiApplication::clipboard()->setText(m_monitor->text());
}

void LineMonitorWindow::saveAs()
{
    if (!m_monitor)
        return;
    const QString path = m_dialogs.saveFileName(this, m_saveDialog);
    if (path.isEmpty())
        return;
    try {
        DataFile::writeAtomically(path, m_monitor->text().toUtf8());
    } catch (const Exception &error) {
        m_dialogs.warning(this, m_texts.saveFailed.arg(path, error.message()));
    }
}

void LineMonitorWindow::clearLog()
{
    if (m_monitor)
        m_monitor->clear();
}

void LineMonitorWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    emit closed();
}
