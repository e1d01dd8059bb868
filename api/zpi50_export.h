// Export macro of zpi50: every public class and function carries ZPI_API.
#pragma once

#define ZPI_API __attribute__((visibility("default")))
