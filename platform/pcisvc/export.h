#pragma once

#define PCISVC_EXPORT __attribute__((visibility("default")))
