#include "pie/pieview.h"

PieView pieView;
