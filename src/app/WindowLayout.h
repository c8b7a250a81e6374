#pragma once

#include "session/Catalogue.h"

#include <QString>

#include <array>

class ClickableLabel;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTableView;
class QTimer;
class QSize;
class QWidget;

// Every control of the main window, by its role. Each carries the same name as its object name
// (arrays as "name_index", e.g. "dayButton_2"), so tests find it with findChild.
struct MainWindowControls {
    // Day strip: the five day buttons, the CN reload and the day's captions.
    QFrame *dayStrip;
    std::array<QPushButton *, 5> dayButtons;
    QPushButton *cnReloadButton;
    QLabel *todayLabel;
    QLabel *dayHeaderLabel;
    QFrame *dayLoadingPanel;

    // Category strip: the ten suffix buttons by suffix index, and the seven categories.
    QFrame *categoryStrip;
    std::array<QPushButton *, 10> suffixButtons;
    std::array<QLabel *, 7> categoryCaptions;
    std::array<ClickableLabel *, 7> categoryCounts;
    std::array<QListView *, 7> categoryLists;

    // Under the day strip where the window's design puts them; the strips' context menus reach
    // them too.
    QPushButton *sortInternationalButton;
    QPushButton *sortDomesticButton;
    QPushButton *sortBySizeButton;
    QListView *sizeSortResultList;
    QListView *sizeSortInputList;

    // Table area: the filter, the run and its metrics, the result grid.
    QFrame *tableArea;
    QLabel *filterCaption;
    QComboBox *criterionCombo;
    QLineEdit *thresholdEdit;
    QPushButton *deleteRowsButton;
    QLabel *stuckHint;
    QPushButton *runButton;
    QCheckBox *stopFlag;
    std::array<QCheckBox *, Catalogue::kMetricBoxCount> metricBoxes;
    std::array<ClickableLabel *, Catalogue::kMetricBoxCount> metricCaptions;
    QTableView *resultGrid;

    // Detail panel: the lookup field and button, five captions and the values under them, left
    // to right (age, filing, registration, expiry, countdown).
    QFrame *detailPanel;
    QLabel *doubleClickHint;
    QLineEdit *lookupEdit;
    QPushButton *lookupButton;
    std::array<QLabel *, 5> detailCaptions;
    std::array<QLabel *, 5> detailValues;
    QLabel *deletionTimesNote;

    QTimer *updateTimer;
};

// Client area of the window in pixels (10830 x 8640 twips).
// The run button's caption while the run is idle and while it runs.
inline const QString kRunCaption = QStringLiteral("开始查询");
inline const QString kStopCaption = QStringLiteral("停止");

inline constexpr int kClientWidth = 722;
inline constexpr int kClientHeight = 576;

// Builds every control inside `client` at its place.
MainWindowControls buildMainWindowControls(QWidget *client);

// Places the controls for a client area of `size`, at least the default size: the result grid
// takes the extra width and height, the row under it (lookup, detail grid, notice) moves down
// with the grid's bottom edge, and the strips above keep their places.
void fitToClient(const MainWindowControls &c, const QSize &size);
