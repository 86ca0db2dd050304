"""What the module's test scripts share (imported from their own folder)."""


def result_class(f):
    """The type of what f() returns, or the class of the exception it raises: two calls that
    should behave alike are compared by this."""
    try:
        return type(f())
    except Exception as e:  # noqa: BLE001 - the class is the result
        return type(e)
