#include "WindowLayout.h"

#include "ClickableLabel.h"
#include "TextListModel.h"
#include "session/Catalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <cmath>

namespace {

// Positions and sizes in twips (15 to the pixel), relative to the container. Where the window's
// design gives no size (self-sizing labels, the sort buttons and small lists), the size is ours.
struct Twips {
    const char *name;
    const char *container;
    int left, top, width, height;
};

constexpr Twips kLayout[] = {
    // The window itself.
    {"dayStrip", "client", 0, -240, 10815, 1215},
    {"categoryStrip", "client", 0, 960, 10815, 2295},
    {"tableArea", "client", 0, 3240, 10815, 4695},
    {"detailPanel", "client", 0, 7680, 10815, 1095},
    {"sortInternationalButton", "client", 960, 120, 1815, 375},
    {"sortDomesticButton", "client", 840, 360, 1815, 375},
    {"sortBySizeButton", "client", 360, 720, 1215, 240},
    {"sizeSortResultList", "client", 0, 360, 855, 495},
    {"sizeSortInputList", "client", 0, 600, 855, 360},

    // Day strip.
    {"dayButton_0", "dayStrip", 360, 480, 1815, 495},
    {"dayButton_1", "dayStrip", 2400, 480, 1815, 495},
    {"dayButton_2", "dayStrip", 4440, 480, 1815, 495},
    {"dayButton_3", "dayStrip", 6480, 480, 1815, 495},
    {"dayButton_4", "dayStrip", 8520, 480, 1815, 495},
    {"cnReloadButton", "dayStrip", 6600, 480, 1215, 495},
    {"todayLabel", "dayStrip", 5040, 270, 3600, 210},
    {"dayHeaderLabel", "dayStrip", 5340, 1005, 3600, 210},
    {"dayLoadingPanel", "dayStrip", 120, 240, 10815, 975},
    {"dayLoadingNotice", "dayLoadingPanel", 4200, 480, 2055, 375},

    // Category strip: suffix buttons in two rows, categories side by side below.
    {"suffixButton_0", "categoryStrip", 360, 120, 1815, 495},
    {"suffixButton_2", "categoryStrip", 2400, 120, 1815, 495},
    {"suffixButton_3", "categoryStrip", 4440, 120, 1815, 495},
    {"suffixButton_1", "categoryStrip", 6480, 120, 1815, 495},
    {"suffixButton_4", "categoryStrip", 8520, 120, 1815, 495},
    {"suffixButton_6", "categoryStrip", 360, 720, 1815, 495},
    {"suffixButton_5", "categoryStrip", 2400, 720, 1815, 495},
    {"suffixButton_7", "categoryStrip", 4440, 720, 1815, 495},
    {"suffixButton_8", "categoryStrip", 6480, 720, 1815, 495},
    {"suffixButton_9", "categoryStrip", 8520, 720, 1815, 495},
    {"categoryCaption_0", "categoryStrip", 360, 1440, 1200, 270},
    {"categoryCaption_1", "categoryStrip", 1920, 1440, 1200, 270},
    {"categoryCaption_2", "categoryStrip", 3360, 1440, 1200, 270},
    {"categoryCaption_3", "categoryStrip", 4800, 1440, 1200, 270},
    {"categoryCaption_4", "categoryStrip", 6240, 1440, 1200, 270},
    {"categoryCaption_5", "categoryStrip", 7680, 1440, 1200, 270},
    {"categoryCaption_6", "categoryStrip", 9360, 1440, 1200, 270},
    {"categoryCount_0", "categoryStrip", 120, 1800, 1335, 375},
    {"categoryCount_1", "categoryStrip", 1560, 1800, 1335, 375},
    {"categoryCount_2", "categoryStrip", 3000, 1800, 1335, 375},
    {"categoryCount_3", "categoryStrip", 4440, 1800, 1335, 375},
    {"categoryCount_4", "categoryStrip", 5880, 1800, 1335, 375},
    {"categoryCount_5", "categoryStrip", 7320, 1800, 1335, 375},
    {"categoryCount_6", "categoryStrip", 9000, 1800, 1335, 375},
    {"categoryList_0", "categoryStrip", 120, 2280, 1455, 1500},
    {"categoryList_1", "categoryStrip", 1680, 2280, 1455, 1500},
    {"categoryList_2", "categoryStrip", 3240, 2280, 1455, 1500},
    {"categoryList_3", "categoryStrip", 4800, 2280, 1455, 1500},
    {"categoryList_4", "categoryStrip", 6360, 2280, 1455, 1500},
    {"categoryList_5", "categoryStrip", 7920, 2280, 1455, 1500},
    {"categoryList_6", "categoryStrip", 9480, 2280, 1455, 1500},

    // Table area.
    {"filterCaption", "tableArea", 4800, 240, 840, 210},
    {"criterionCombo", "tableArea", 5640, 120, 2295, 300},
    {"thresholdEdit", "tableArea", 7920, 120, 495, 270},
    {"deleteRowsButton", "tableArea", 8520, 120, 855, 300},
    {"stuckHint", "tableArea", 9480, 0, 1260, 540},
    {"runButton", "tableArea", 9480, 360, 1215, 495},
    {"stopFlag", "tableArea", 9840, 480, 255, 255},
    {"metricBox_0", "tableArea", 120, 600, 255, 255},
    {"metricBox_1", "tableArea", 1200, 600, 255, 255},
    {"metricBox_2", "tableArea", 2280, 600, 255, 255},
    {"metricBox_3", "tableArea", 3480, 600, 255, 255},
    {"metricBox_4", "tableArea", 4680, 600, 255, 255},
    {"metricBox_5", "tableArea", 5880, 600, 255, 255},
    {"metricBox_6", "tableArea", 7200, 600, 255, 255},
    {"metricBox_7", "tableArea", 8280, 600, 255, 255},
    {"metricCaption_0", "tableArea", 360, 630, 840, 210},
    {"metricCaption_1", "tableArea", 1440, 630, 840, 210},
    {"metricCaption_2", "tableArea", 2550, 630, 930, 210},
    {"metricCaption_3", "tableArea", 3750, 630, 930, 210},
    {"metricCaption_4", "tableArea", 4950, 630, 930, 210},
    {"metricCaption_5", "tableArea", 6150, 630, 1050, 210},
    {"metricCaption_6", "tableArea", 7470, 630, 810, 210},
    {"metricCaption_7", "tableArea", 8520, 630, 840, 210},
    // The archive and other-suffix metrics, in the free corner left of the filter.
    {"metricBox_8", "tableArea", 120, 150, 255, 255},
    {"metricBox_9", "tableArea", 1200, 150, 255, 255},
    {"metricCaption_8", "tableArea", 360, 180, 840, 210},
    {"metricCaption_9", "tableArea", 1440, 180, 840, 210},
    {"resultGrid", "tableArea", 0, 1000, 10695, 3405},

    // Detail panel.
    {"doubleClickHint", "detailPanel", 120, 0, 3000, 210},
    {"lookupEdit", "detailPanel", 240, 240, 1935, 390},
    {"lookupButton", "detailPanel", 2280, 240, 855, 375},
    {"detailCaption_0", "detailPanel", 3480, 150, 1200, 210},
    {"detailCaption_1", "detailPanel", 5040, 150, 1200, 210},
    {"detailCaption_2", "detailPanel", 6600, 150, 1200, 210},
    {"detailCaption_3", "detailPanel", 7800, 150, 1200, 210},
    {"detailCaption_4", "detailPanel", 9240, 150, 1500, 210},
    {"detailValue_0", "detailPanel", 3660, 480, 1320, 210},
    {"detailValue_1", "detailPanel", 5340, 480, 1260, 210},
    {"detailValue_2", "detailPanel", 6840, 480, 960, 210},
    {"detailValue_3", "detailPanel", 8160, 480, 1080, 210},
    {"detailValue_4", "detailPanel", 9540, 480, 1260, 210},
    {"deletionTimesNote", "detailPanel", 120, 750, 5310, 180},
};

int px(int twips)
{
    return int(std::lround(twips / 15.0));
}

using namespace Qt::StringLiterals;

const QString kLoadingNotice = QStringLiteral("载入中...请稍等片刻！");

const Twips &spot(const QString &name)
{
    for (const Twips &t : kLayout) {
        if (name == QLatin1String(t.name))
            return t;
    }
    qFatal("no place for control %s", qPrintable(name));
}

QRect pixels(const Twips &t)
{
    return QRect(px(t.left), px(t.top), px(t.width), px(t.height));
}

class Builder {
public:
    explicit Builder(QWidget *client) { m_containers.insert(QStringLiteral("client"), client); }

    template <typename T, typename... Args> T *make(const QString &name, Args &&...args)
    {
        const Twips &t = spot(name);
        QWidget *parent = m_containers.value(QLatin1String(t.container));
        Q_ASSERT(parent);
        auto *w = new T(std::forward<Args>(args)..., parent);
        w->setObjectName(name);
        w->setGeometry(pixels(t));
        if constexpr (std::is_base_of_v<QFrame, T> && !std::is_base_of_v<QLabel, T> &&
                      !std::is_base_of_v<QAbstractScrollArea, T>)
            m_containers.insert(name, w);
        return w;
    }

private:
    QHash<QString, QWidget *> m_containers;
};

QString indexed(const char *base, int index)
{
    return QLatin1String(base) + u'_' + QString::number(index);
}

// The window's text is SimSun 9 pt; where it is missing, an installed CJK face of the same size
// stands in, so Chinese never falls back to boxes.
QFont songti(bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                   QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Noto Sans SC")});
    f.setPointSize(9);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

// The thin lines dividing the detail panel's captions and values into a grid.
class DetailGrid final : public QWidget {
public:
    explicit DetailGrid(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("DetailGrid"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(px(3360), px(90), px(10815 - 3360 - 60), px(660));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Mid));
        const int w = width() - 1;
        const int h = height() - 1;
        for (int y : {0, px(330), h})
            p.drawLine(0, y, w, y);
        for (int x : {3360, 4920, 6480, 7680, 9120})
            p.drawLine(px(x - 3360), 0, px(x - 3360), h);
        p.drawLine(w, 0, w, h);
    }
};

void colour(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

QListView *listBox(QListView *view)
{
    view->setModel(new TextListModel(view));
    view->setUniformItemSizes(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

} // namespace

MainWindowControls buildMainWindowControls(QWidget *client)
{
    Builder b(client);
    MainWindowControls c{};
    const QFont bold = songti(true);
    client->setFont(songti(false));
    const QColor red(Qt::red);
    const QColor grey(0x80, 0x80, 0x80);
    const auto label = [&](const QString &name, const QString &text) {
        QLabel *l = b.make<QLabel>(name);
        l->setText(text);
        l->setTextFormat(Qt::PlainText); // scraped text is shown, never interpreted
        return l;
    };

    // Window-level controls first, so the day strip stacks above the ones it overlaps.
    c.sizeSortResultList = listBox(b.make<QListView>(u"sizeSortResultList"_s));
    c.sizeSortInputList = listBox(b.make<QListView>(u"sizeSortInputList"_s));
    c.sortInternationalButton =
        b.make<QPushButton>(u"sortInternationalButton"_s, QStringLiteral("国际域名高低排序"));
    c.sortDomesticButton =
        b.make<QPushButton>(u"sortDomesticButton"_s, QStringLiteral("国内域名高低排序"));
    c.sortBySizeButton = b.make<QPushButton>(u"sortBySizeButton"_s, QStringLiteral("大小排序"));

    c.dayStrip = b.make<QFrame>(u"dayStrip"_s);
    c.cnReloadButton = b.make<QPushButton>(u"cnReloadButton"_s, QStringLiteral("国内域名"));
    for (int k = 0; k < int(c.dayButtons.size()); ++k) {
        c.dayButtons[k] =
            b.make<QPushButton>(indexed("dayButton", k), Catalogue::dayButtonCaption(k));
        c.dayButtons[k]->setFont(bold);
    }
    c.todayLabel = label(u"todayLabel"_s, QString());
    c.dayHeaderLabel = label(u"dayHeaderLabel"_s, QString());
    for (QLabel *l : {c.todayLabel, c.dayHeaderLabel}) {
        l->setFont(bold);
        colour(l, red);
    }
    c.dayLoadingPanel = b.make<QFrame>(u"dayLoadingPanel"_s);
    label(u"dayLoadingNotice"_s, kLoadingNotice);

    c.categoryStrip = b.make<QFrame>(u"categoryStrip"_s);
    for (int i = 0; i < int(c.suffixButtons.size()); ++i) {
        c.suffixButtons[i] =
            b.make<QPushButton>(indexed("suffixButton", i), Catalogue::suffixName(i));
        c.suffixButtons[i]->setFont(bold);
    }
    for (int k = 0; k < int(c.categoryCounts.size()); ++k) {
        c.categoryCaptions[k] = label(indexed("categoryCaption", k), Catalogue::categoryCaption(k));
        c.categoryCaptions[k]->setFont(bold);
        c.categoryCounts[k] = b.make<ClickableLabel>(indexed("categoryCount", k));
        c.categoryCounts[k]->setText(QStringLiteral("0"));
        c.categoryCounts[k]->setFont(bold);
        c.categoryCounts[k]->setCursor(Qt::PointingHandCursor);
        c.categoryLists[k] = listBox(b.make<QListView>(indexed("categoryList", k)));
    }
    c.dayLoadingPanel->setAutoFillBackground(true);
    c.dayLoadingPanel->setFrameShape(QFrame::Box);
    c.dayLoadingPanel->hide();
    c.updateTimer = new QTimer(client);
    c.updateTimer->setObjectName(QStringLiteral("updateTimer"));

    c.tableArea = b.make<QFrame>(u"tableArea"_s);
    c.filterCaption = label(u"filterCaption"_s, QStringLiteral("结果筛选："));
    c.criterionCombo = b.make<QComboBox>(u"criterionCombo"_s);
    c.criterionCombo->setEditable(true);
    c.criterionCombo->setFont(bold);
    c.thresholdEdit = b.make<QLineEdit>(u"thresholdEdit"_s);
    c.thresholdEdit->setText(QStringLiteral("0"));
    c.deleteRowsButton = b.make<QPushButton>(u"deleteRowsButton"_s, QStringLiteral("删  除"));
    c.stuckHint = label(u"stuckHint"_s, QStringLiteral("查询中如卡住：请重复点击查询"));
    c.stuckHint->setWordWrap(true);
    colour(c.stuckHint, grey);
    c.stopFlag = b.make<QCheckBox>(u"stopFlag"_s);
    c.runButton = b.make<QPushButton>(u"runButton"_s, kRunCaption);
    c.runButton->setFont(bold);
    for (int k = 0; k < int(c.metricBoxes.size()); ++k) {
        c.metricBoxes[k] = b.make<QCheckBox>(indexed("metricBox", k));
        c.metricCaptions[k] = b.make<ClickableLabel>(indexed("metricCaption", k));
        c.metricCaptions[k]->setText(Catalogue::metricCaption(k));
        // The captions were sized for SimSun's narrow Latin letters; tighten wider faces a little
        // so a caption does not run under the next box.
        QFont tight = c.metricCaptions[k]->font();
        tight.setLetterSpacing(QFont::PercentageSpacing, 88);
        c.metricCaptions[k]->setFont(tight);
    }
    c.resultGrid = b.make<QTableView>(u"resultGrid"_s);

    c.detailPanel = b.make<QFrame>(u"detailPanel"_s);
    new DetailGrid(c.detailPanel);
    c.doubleClickHint = label(u"doubleClickHint"_s, QStringLiteral("请双击上面查询域名可导入"));
    c.deletionTimesNote =
        label(u"deletionTimesNote"_s,
              QStringLiteral("国际域名凌晨2.30分左右删除，国内域名.CN域名凌晨4.30左右删除"));
    for (QLabel *l : {c.doubleClickHint, c.deletionTimesNote})
        colour(l, grey);
    c.lookupEdit = b.make<QLineEdit>(u"lookupEdit"_s);
    c.lookupButton = b.make<QPushButton>(u"lookupButton"_s, QStringLiteral("查 询"));
    for (int i = 0; i < Catalogue::kLookupFieldCount; ++i) {
        c.detailCaptions[i] = label(indexed("detailCaption", i), Catalogue::lookupFieldCaption(i));
        c.detailCaptions[i]->setFont(bold);
        c.detailValues[i] = label(indexed("detailValue", i), Catalogue::lookupReset());
    }
    colour(c.detailValues[Catalogue::kCountdownField], red);

    // Controls without a caption of their own are named after the caption beside them, so that
    // assistive tools (and UI tests) find them by what the user reads.
    for (int k = 0; k < int(c.metricBoxes.size()); ++k)
        c.metricBoxes[k]->setAccessibleName(Catalogue::metricCaption(k));
    c.stopFlag->setAccessibleName(QStringLiteral("停止查询"));
    c.criterionCombo->setAccessibleName(c.filterCaption->text());
    c.filterCaption->setBuddy(c.criterionCombo);
    c.thresholdEdit->setAccessibleName(QStringLiteral("筛选阈值"));
    c.lookupEdit->setAccessibleName(QStringLiteral("查询域名"));
    c.resultGrid->setAccessibleName(QStringLiteral("查询结果"));
    for (int i = 0; i < Catalogue::kLookupFieldCount; ++i)
        c.detailValues[i]->setAccessibleDescription(c.detailCaptions[i]->text());

    // The bottom-to-top stacking chosen where controls overlap: the day strip covers the sort
    // controls; the run button covers its stop box.
    c.dayStrip->setAutoFillBackground(true);
    c.dayStrip->raise();
    c.dayButtons[3]->raise();
    c.runButton->raise();
    c.stuckHint->raise(); // its second line runs into the run button's top edge
    return c;
}

void fitToClient(const MainWindowControls &c, const QSize &size)
{
    const int dw = qMax(0, size.width() - kClientWidth);
    const int dh = qMax(0, size.height() - kClientHeight);
    c.tableArea->setGeometry(pixels(spot(u"tableArea"_s)).adjusted(0, 0, dw, dh));
    c.resultGrid->setGeometry(pixels(spot(u"resultGrid"_s)).adjusted(0, 0, dw, dh));
    c.detailPanel->setGeometry(pixels(spot(u"detailPanel"_s)).translated(0, dh));
}
