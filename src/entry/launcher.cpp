// The launcher stage.

#include "entry/entry.h"

void LauncherStage()
{
}
