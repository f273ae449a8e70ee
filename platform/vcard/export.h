#pragma once

#define VCARD_EXPORT __attribute__((visibility("default")))
