// The uninstall driver: the worker stage.

#include "worker/worker.h"

void WorkerStage(const char*)
{
}
