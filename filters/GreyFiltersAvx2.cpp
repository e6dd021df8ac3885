// The filters again, compiled for AVX2 with FMA (chosen at run time by Filters()).
#define ZOR_FILTERS_AVX2 1
#include "GreyFilters.cpp"
