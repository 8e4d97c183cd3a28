#include "ui/UiResources.h"

#include <QtCore/QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initUiResourcesImpl()
{
    Q_INIT_RESOURCE(ui);
    Q_INIT_RESOURCE(fonts);
    Q_INIT_RESOURCE(dialogs);
    Q_INIT_RESOURCE(lang);
}

void initUiResources()
{
    static const bool done = (initUiResourcesImpl(), true);
    Q_UNUSED(done);
}
