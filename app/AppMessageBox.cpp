#include "AppMessageBox.h"
#include "../framework/AfxWin.h"
#include <atomic>

static std::atomic<AppMessageBoxSink> s_sink{nullptr};

void SetAppMessageBoxSink(AppMessageBoxSink sink) {
    s_sink = sink;
}

int AppMessageBox(const char* text, UINT type) {
    if (AppMessageBoxSink sink = s_sink)
        return sink(text, type);
    return AfxMessageBox(text, type);
}
