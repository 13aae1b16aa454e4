#pragma once
// Loopback fake servers used by the tests live beside this header.
