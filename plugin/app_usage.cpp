#include "app_usage.h"

// Sampling is not built yet.
void sampleAppUsage()
{
}
