#pragma once

#include <QScrollArea>

// The scroll view that holds a cell's collection; it adds nothing to the plain one.
class CustomNSScrollView : public QScrollArea
{
    Q_OBJECT
public:
    using QScrollArea::QScrollArea;
};
