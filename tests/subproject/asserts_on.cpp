// Built with the subproject's own flags: they must not switch its asserts off.
#ifdef NDEBUG
#error "NDEBUG is defined: the project's asserts are off, its build type was changed"
#endif
