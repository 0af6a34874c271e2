kss_fuzz_target(ini fuzz_ini.cpp DEPS kss_platform_core)
