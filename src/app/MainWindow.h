#pragma once

#include "Layout.h"
#include "fetch/Endpoints.h"
#include "sources/LengthBreakdown.h"

#include <QMainWindow>

class PageFetcher;
class DeletionLists;
class DetailLookup;
class Form2;
class Form4;
class QueryRun;
class ResultTable;
class QLabel;

// Form1: the one window. It owns every list and result and only glues controls to the logic.
class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    static inline const QString kTitle = QStringLiteral(
        "Varnel 8.1  www.varnel-soft.example  青岚域名软件工作室  电话 0571-8800-1234");

    explicit MainWindow(const Endpoints &endpoints, QWidget *parent = nullptr);
    ~MainWindow() override;

    const Form1Controls &controls() const { return m_c; }
    ResultTable *table() const { return m_table; }
    PageFetcher *fetcher() const { return m_fetcher; }
    QueryRun *queryRun() const { return m_run; }
    DeletionLists *deletionLists() const { return m_lists; }
    const Sources::Categories &categories() const { return m_categories; }

    // The grid operations that act on the view: rows from 1 in display order, 0 for none.
    int RowAt(const QPoint &viewportPoint) const;
    int ColumnLeft(int column) const;
    int selectedRow() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startUp();
    void setUpGrid();
    void wireQueryRun();
    void checkForUpdate();
    void wireFilter();
    void wireLookup();
    void wireLists();
    void breakDown(int suffixIndex);
    void importCategory(int category);
    void wireSorts();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void openCell(const QPoint &viewportPoint);
    void showStatus(const QString &text);

    Endpoints m_endpoints;
    Form1Controls m_c;
    ResultTable *m_table;
    PageFetcher *m_fetcher;
    QueryRun *m_run;
    DetailLookup *m_lookup;
    DeletionLists *m_lists;
    Sources::Categories m_categories;
    Form2 *m_form2 = nullptr; // created on first use
    Form4 *m_form4 = nullptr;
    QLabel *m_progress;
};
