#include "Layout.h"

#include "ClickableLabel.h"
#include "TextListModel.h"
#include "probes/Probes.h"
#include "sources/LengthBreakdown.h"
#include "sources/SourceLists.h"
#include "table/ResultTable.h"

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
    {"Frame3", "Form1", 0, -240, 10815, 1215},
    {"Frame1", "Form1", 0, 960, 10815, 2295},
    {"Frame4", "Form1", 0, 3240, 10815, 4695},
    {"Frame7", "Form1", 0, 7680, 10815, 1095},
    {"Frame2", "Form1", 0, 0, 855, 375},
    {"Text1", "Form1", 6600, 120, 1815, 375},
    {"Text2", "Form1", 4440, 120, 1815, 375},
    {"Command5", "Form1", 960, 120, 1815, 375},
    {"Command4", "Form1", 840, 360, 1815, 375},
    {"Command1", "Form1", 360, 720, 1215, 240},
    {"List1", "Form1", 0, 360, 855, 495},
    {"List2", "Form1", 0, 600, 855, 360},

    // Day strip.
    {"Command6_0", "Frame3", 360, 480, 1815, 495},
    {"Command6_1", "Frame3", 2400, 480, 1815, 495},
    {"Command6_2", "Frame3", 4440, 480, 1815, 495},
    {"Command6_3", "Frame3", 6480, 480, 1815, 495},
    {"Command6_4", "Frame3", 8520, 480, 1815, 495},
    {"Command3", "Frame3", 6600, 480, 1215, 495},
    {"Label10", "Frame3", 5040, 270, 3600, 210},
    {"Label11", "Frame3", 5340, 1005, 3600, 210},
    {"Frame5", "Frame3", 120, 240, 10815, 975},
    {"Label4_0", "Frame5", 4200, 480, 2055, 375},

    // Category strip: suffix buttons in two rows, categories side by side below.
    {"Command7_0", "Frame1", 360, 120, 1815, 495},
    {"Command7_2", "Frame1", 2400, 120, 1815, 495},
    {"Command7_3", "Frame1", 4440, 120, 1815, 495},
    {"Command7_1", "Frame1", 6480, 120, 1815, 495},
    {"Command7_4", "Frame1", 8520, 120, 1815, 495},
    {"Command7_6", "Frame1", 360, 720, 1815, 495},
    {"Command7_5", "Frame1", 2400, 720, 1815, 495},
    {"Command7_7", "Frame1", 4440, 720, 1815, 495},
    {"Command7_8", "Frame1", 6480, 720, 1815, 495},
    {"Command7_9", "Frame1", 8520, 720, 1815, 495},
    {"Frame6", "Frame1", 360, 120, 9975, 1095},
    {"Label4_1", "Frame6", 3960, 360, 2055, 375},
    {"Label3_0", "Frame1", 360, 1440, 1200, 270},
    {"Label3_1", "Frame1", 1920, 1440, 1200, 270},
    {"Label3_2", "Frame1", 3360, 1440, 1200, 270},
    {"Label3_3", "Frame1", 4800, 1440, 1200, 270},
    {"Label3_4", "Frame1", 6240, 1440, 1200, 270},
    {"Label3_5", "Frame1", 7680, 1440, 1200, 270},
    {"Label3_6", "Frame1", 9360, 1440, 1200, 270},
    {"Label2_0", "Frame1", 120, 1800, 1335, 375},
    {"Label2_1", "Frame1", 1560, 1800, 1335, 375},
    {"Label2_2", "Frame1", 3000, 1800, 1335, 375},
    {"Label2_3", "Frame1", 4440, 1800, 1335, 375},
    {"Label2_4", "Frame1", 5880, 1800, 1335, 375},
    {"Label2_5", "Frame1", 7320, 1800, 1335, 375},
    {"Label2_6", "Frame1", 9000, 1800, 1335, 375},
    {"List12_0", "Frame1", 120, 2280, 1455, 1500},
    {"List12_1", "Frame1", 1680, 2280, 1455, 1500},
    {"List12_2", "Frame1", 3240, 2280, 1455, 1500},
    {"List12_3", "Frame1", 4800, 2280, 1455, 1500},
    {"List12_4", "Frame1", 6360, 2280, 1455, 1500},
    {"List12_5", "Frame1", 7920, 2280, 1455, 1500},
    {"List12_6", "Frame1", 9480, 2280, 1455, 1500},

    // Table area.
    {"Label8_1", "Frame4", 4800, 240, 840, 210},
    {"Combo1", "Frame4", 5640, 120, 2295, 300},
    {"Text4", "Frame4", 7920, 120, 495, 270},
    {"Command8", "Frame4", 8520, 120, 855, 300},
    {"Label12", "Frame4", 9480, 0, 1260, 540},
    {"Command2", "Frame4", 9480, 360, 1215, 495},
    {"Check3", "Frame4", 9840, 480, 255, 255},
    {"Check2_0", "Frame4", 120, 600, 255, 255},
    {"Check2_1", "Frame4", 1200, 600, 255, 255},
    {"Check2_2", "Frame4", 2280, 600, 255, 255},
    {"Check2_3", "Frame4", 3480, 600, 255, 255},
    {"Check2_4", "Frame4", 4680, 600, 255, 255},
    {"Check2_5", "Frame4", 5880, 600, 255, 255},
    {"Check2_6", "Frame4", 7200, 600, 255, 255},
    {"Check2_7", "Frame4", 8280, 600, 255, 255},
    {"Label8_0", "Frame4", 360, 630, 840, 210},
    {"Label8_8", "Frame4", 1440, 630, 840, 210},
    {"Label8_7", "Frame4", 2550, 630, 930, 210},
    {"Label8_6", "Frame4", 3750, 630, 930, 210},
    {"Label8_5", "Frame4", 4950, 630, 930, 210},
    {"Label8_4", "Frame4", 6150, 630, 1050, 210},
    {"Label8_3", "Frame4", 7470, 630, 810, 210},
    {"Label8_2", "Frame4", 8520, 630, 840, 210},
    {"ListView1", "Frame4", 0, 1000, 10695, 3405},

    // Detail panel.
    {"Label9", "Frame7", 120, 0, 3000, 210},
    {"Label6_0", "Frame7", 240, 240, 600, 210},
    {"Label6_2", "Frame7", 840, 240, 600, 210},
    {"Label6_4", "Frame7", 1440, 240, 600, 210},
    {"Text5", "Frame7", 240, 240, 1935, 390},
    {"Command11", "Frame7", 2280, 240, 855, 375},
    {"Label5_0", "Frame7", 3480, 150, 1200, 210},
    {"Label5_3", "Frame7", 5040, 150, 1200, 210},
    {"Label5_2", "Frame7", 6600, 150, 1200, 210},
    {"Label5_1", "Frame7", 7800, 150, 1200, 210},
    {"Label5_4", "Frame7", 9240, 150, 1500, 210},
    {"Label6_1", "Frame7", 3660, 480, 1320, 210},
    {"Label7", "Frame7", 5340, 480, 1260, 210},
    {"Label6_3", "Frame7", 6840, 480, 960, 210},
    {"Label6_5", "Frame7", 8160, 480, 1080, 210},
    {"Label6_6", "Frame7", 9540, 480, 1260, 210},
    {"Label13", "Frame7", 120, 750, 5310, 180},

    // The hidden store: everything lies beyond its 855 x 375 twips.
    {"Label1", "Frame2", 1200, 0, 3000, 210},
    {"Text3", "Frame2", 1200, 300, 3000, 300},
    {"List3", "Frame2", 1200, 600, 1215, 1000},
    {"List4", "Frame2", 2400, 600, 1215, 1000},
    {"List5", "Frame2", 3600, 600, 1215, 1000},
    {"List6", "Frame2", 4800, 600, 1215, 1000},
    {"List7", "Frame2", 6000, 600, 1215, 1000},
    {"List8", "Frame2", 1200, 1800, 1215, 1000},
    {"List9", "Frame2", 2400, 1800, 1215, 1000},
    {"List10", "Frame2", 3600, 1800, 1215, 1000},
    {"List11", "Frame2", 4800, 1800, 1215, 1000},
    {"List14", "Frame2", 6000, 1800, 1215, 1000},
};

int px(int twips)
{
    return int(std::lround(twips / 15.0));
}

const Twips &spot(QLatin1String name)
{
    for (const Twips &t : kLayout) {
        if (name == QLatin1String(t.name))
            return t;
    }
    qFatal("no place for control %s", name.data());
}

QRect pixels(const Twips &t)
{
    return QRect(px(t.left), px(t.top), px(t.width), px(t.height));
}

class Builder {
public:
    explicit Builder(QWidget *client) { m_containers.insert(QStringLiteral("Form1"), client); }

    template <typename T, typename... Args> T *make(const char *name, Args &&...args)
    {
        const Twips &t = spot(QLatin1String(name));
        QWidget *parent = m_containers.value(QLatin1String(t.container));
        Q_ASSERT(parent);
        auto *w = new T(std::forward<Args>(args)..., parent);
        w->setObjectName(QLatin1String(name));
        w->setGeometry(pixels(t));
        if constexpr (std::is_base_of_v<QFrame, T> && !std::is_base_of_v<QLabel, T> &&
                      !std::is_base_of_v<QAbstractScrollArea, T>)
            m_containers.insert(QLatin1String(name), w);
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

QList<Placement> form1Placements()
{
    QList<Placement> out;
    for (const Twips &t : kLayout)
        out.append({QLatin1String(t.name), QLatin1String(t.container), pixels(t)});
    return out;
}

Form1Controls buildForm1(QWidget *client)
{
    Builder b(client);
    Form1Controls c{};
    const QFont bold = songti(true);
    client->setFont(songti(false));
    const QColor red(Qt::red);
    const QColor grey(0x80, 0x80, 0x80);
    const auto label = [&](const char *name, const QString &text) {
        QLabel *l = b.make<QLabel>(name);
        l->setText(text);
        l->setTextFormat(Qt::PlainText); // scraped text is shown, never interpreted
        return l;
    };

    // Window-level controls first, so the day strip stacks above the ones it overlaps.
    c.Text1 = b.make<QLineEdit>("Text1");
    c.Text2 = b.make<QLineEdit>("Text2");
    c.Text2->setText(QStringLiteral("Text2"));
    c.List1 = listBox(b.make<QListView>("List1"));
    c.List2 = listBox(b.make<QListView>("List2"));
    c.Command5 = b.make<QPushButton>("Command5", QStringLiteral("国际域名高低排序"));
    c.Command4 = b.make<QPushButton>("Command4", QStringLiteral("国内域名高低排序"));
    c.Command1 = b.make<QPushButton>("Command1", QStringLiteral("大小排序"));

    c.Frame2 = b.make<QFrame>("Frame2");
    c.Label1 = label("Label1", QStringLiteral("Label1"));
    c.Text3 = b.make<QLineEdit>("Text3");
    const char *sourceNames[10] = {"List3", "List4", "List5",  "List6",  "List7",
                                   "List8", "List9", "List10", "List11", "List14"};
    for (int i = 0; i < 10; ++i)
        c.SourceLists[i] = listBox(b.make<QListView>(sourceNames[i]));
    c.Frame2->hide();

    c.Frame3 = b.make<QFrame>("Frame3");
    const QString days[5] = {QStringLiteral("前天删除域名"), QStringLiteral("昨天删除域名"),
                             QStringLiteral("今天删除域名"), QStringLiteral("明天删除域名"),
                             QStringLiteral("后天删除域名")};
    c.Command3 = b.make<QPushButton>("Command3", QStringLiteral("国内域名"));
    for (int k = 0; k < 5; ++k) {
        c.Command6[k] = b.make<QPushButton>(qPrintable(indexed("Command6", k)), days[k]);
        c.Command6[k]->setFont(bold);
    }
    c.Label10 = label("Label10", QString());
    c.Label11 = label("Label11", QString());
    for (QLabel *l : {c.Label10, c.Label11}) {
        l->setFont(bold);
        colour(l, red);
    }
    c.Frame5 = b.make<QFrame>("Frame5");
    c.Label4[0] = label("Label4_0", QStringLiteral("载入中...请稍等片刻！"));

    c.Frame1 = b.make<QFrame>("Frame1");
    for (int i = 0; i < 10; ++i) {
        c.Command7[i] =
            b.make<QPushButton>(qPrintable(indexed("Command7", i)), Sources::initialCaption(i));
        c.Command7[i]->setFont(bold);
    }
    for (int k = 0; k < 7; ++k) {
        c.Label3[k] = label(qPrintable(indexed("Label3", k)), Sources::categoryCaption(k));
        c.Label3[k]->setFont(bold);
        c.Label2[k] = b.make<ClickableLabel>(qPrintable(indexed("Label2", k)));
        c.Label2[k]->setText(QStringLiteral("0"));
        c.Label2[k]->setFont(bold);
        c.Label2[k]->setCursor(Qt::PointingHandCursor);
        c.List12[k] = listBox(b.make<QListView>(qPrintable(indexed("List12", k))));
    }
    c.Frame6 = b.make<QFrame>("Frame6");
    c.Label4[1] = label("Label4_1", QStringLiteral("载入中...请稍等片刻！"));
    for (QFrame *overlay : {c.Frame5, c.Frame6}) {
        overlay->setAutoFillBackground(true);
        overlay->setFrameShape(QFrame::Box);
        overlay->hide();
    }
    c.Timer1 = new QTimer(c.Frame6);
    c.Timer1->setObjectName(QStringLiteral("Timer1"));

    c.Frame4 = b.make<QFrame>("Frame4");
    c.FilterCaption = label("Label8_1", QStringLiteral("结果筛选："));
    c.Combo1 = b.make<QComboBox>("Combo1");
    c.Combo1->setEditable(true);
    c.Combo1->setFont(bold);
    c.Text4 = b.make<QLineEdit>("Text4");
    c.Text4->setText(QStringLiteral("0"));
    c.Command8 = b.make<QPushButton>("Command8", QStringLiteral("删  除"));
    c.Label12 = label("Label12", QStringLiteral("查询中如卡住：请重复点击查询"));
    c.Label12->setWordWrap(true);
    colour(c.Label12, grey);
    c.Check3 = b.make<QCheckBox>("Check3");
    c.Command2 = b.make<QPushButton>("Command2", QStringLiteral("开始查询"));
    c.Command2->setFont(bold);
    const int captionIndex[8] = {0, 8, 7, 6, 5, 4, 3, 2};
    for (int k = 0; k < 8; ++k) {
        c.Check2[k] = b.make<QCheckBox>(qPrintable(indexed("Check2", k)));
        c.Check2Caption[k] = b.make<ClickableLabel>(qPrintable(indexed("Label8", captionIndex[k])));
        c.Check2Caption[k]->setText(Probes::metric(k).caption);
        // The captions were sized for SimSun's narrow Latin letters; tighten wider faces a little
        // so a caption does not run under the next box.
        QFont tight = c.Check2Caption[k]->font();
        tight.setLetterSpacing(QFont::PercentageSpacing, 88);
        c.Check2Caption[k]->setFont(tight);
    }
    c.ListView1 = b.make<QTableView>("ListView1");

    c.Frame7 = b.make<QFrame>("Frame7");
    new DetailGrid(c.Frame7);
    c.Label9 = label("Label9", QStringLiteral("请双击上面查询域名可导入"));
    c.Label13 = label(
        "Label13", QStringLiteral("国际域名凌晨2.30分左右删除，国内域名.CN域名凌晨4.30左右删除"));
    for (QLabel *l : {c.Label9, c.Label13})
        colour(l, grey);
    for (int k : {0, 2, 4})
        c.Label6[k] = label(qPrintable(indexed("Label6", k)), QStringLiteral("Label6"));
    c.Text5 = b.make<QLineEdit>("Text5");
    c.Command11 = b.make<QPushButton>("Command11", QStringLiteral("查 询"));
    const int detailCaption[5] = {0, 3, 2, 1, 4};
    const QString detailTexts[5] = {QStringLiteral("域名年龄"), QStringLiteral("是否备案"),
                                    QStringLiteral("注册时间"), QStringLiteral("到期时间"),
                                    QStringLiteral("删除倒记时")};
    for (int i = 0; i < 5; ++i) {
        const int k = detailCaption[i];
        c.Label5[k] = label(qPrintable(indexed("Label5", k)), detailTexts[i]);
        c.Label5[k]->setFont(bold);
    }
    for (int k : {1, 3, 5, 6})
        c.Label6[k] = label(qPrintable(indexed("Label6", k)), QStringLiteral(".."));
    colour(c.Label6[6], red);
    c.Label7 = label("Label7", QStringLiteral(".."));

    // The bottom-to-top stacking chosen where controls overlap: the day strip covers the date
    // and token boxes and the sort controls; the run button covers its stop box.
    c.Frame3->setAutoFillBackground(true);
    c.Frame3->raise();
    c.Command6[3]->raise();
    c.Command2->raise();
    c.Label12->raise(); // its second line runs into the run button's top edge
    return c;
}
