#pragma once

#include <QList>
#include <QRect>
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
class QWidget;

// Every control of the main window, by its name.
struct Form1Controls {
    QFrame *Frame1, *Frame2, *Frame3, *Frame4, *Frame5, *Frame6, *Frame7;
    std::array<QPushButton *, 5> Command6;  // day buttons
    QPushButton *Command3;                  // CN list
    std::array<QPushButton *, 10> Command7; // suffix buttons
    std::array<QLabel *, 7> Label3;         // category captions
    std::array<ClickableLabel *, 7> Label2; // category counts
    std::array<QListView *, 7> List12;      // categories
    std::array<QLabel *, 2> Label4;         // loading notices
    QLabel *Label10, *Label11, *Label1, *Label12, *Label9, *Label13, *Label7;
    std::array<QListView *, 10> SourceLists; // List3..List11, List14 by suffix index
    QListView *List1, *List2;
    QPushButton *Command1, *Command4, *Command5;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5;
    QComboBox *Combo1;
    QPushButton *Command8, *Command2, *Command11;
    QCheckBox *Check3;
    std::array<QCheckBox *, 8> Check2;
    std::array<ClickableLabel *, 8> Check2Caption; // the Label8 beside each box
    QLabel *FilterCaption;                         // Label8(1)
    QTableView *ListView1;
    std::array<QLabel *, 5> Label5;
    std::array<QLabel *, 7> Label6;
    QTimer *Timer1;
};

// Client area of the window in pixels (10830 x 8640 twips).
inline constexpr int kClientWidth = 722;
inline constexpr int kClientHeight = 576;

// Builds every control inside `client` at its place.
Form1Controls buildForm1(QWidget *client);

// Where each named control lies, in pixels relative to its container, for the layout test.
struct Placement {
    QString name;
    QString container;
    QRect rect; // width/height 0 where the control sizes itself
};
QList<Placement> form1Placements();
