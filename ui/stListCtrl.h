// The event list: a list-view with full-row selection.
#pragma once
#include "../framework/AfxCmn.h"

class stListCtrl : public CListCtrl {
public:
    // Selection always shown, whole rows selected.
    void SetFullRowSelect();
};
