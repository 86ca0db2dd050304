"""The type stubs beside the module describe what it exports: the same public names, the same
methods per class, and every stubbed class documented.

Run by CTest with each configured interpreter (PYTHONPATH names the built module)."""
import ast
import os
import unittest

import orvoaes


def public(names):
    return {n for n in names if not n.startswith("_")}


class Stubs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        path = os.path.join(os.path.dirname(orvoaes.__file__), "orvoaes.pyi")
        with open(path, encoding="utf-8") as f:
            cls.tree = ast.parse(f.read())

    def stubbed(self):
        names, classes = set(), {}
        for node in self.tree.body:
            if isinstance(node, ast.ClassDef):
                classes[node.name] = node
                names.add(node.name)
            elif isinstance(node, ast.FunctionDef):
                names.add(node.name)
            elif isinstance(node, ast.AnnAssign):
                names.add(node.target.id)
        return public(names), classes

    def test_module_names(self):
        names, _ = self.stubbed()
        self.assertEqual(names, public(dir(orvoaes)))

    def test_class_members(self):
        _, classes = self.stubbed()
        for name, node in classes.items():
            with self.subTest(name):
                cls = getattr(orvoaes, name)
                stub = public(n.name for n in node.body if isinstance(n, ast.FunctionDef))
                if issubclass(cls, BaseException):
                    self.assertEqual(stub, set())
                    continue
                self.assertEqual(stub, public(dir(cls)))
                self.assertTrue(cls.__doc__ or ast.get_docstring(node), "no docstring")


if __name__ == "__main__":
    unittest.main()
