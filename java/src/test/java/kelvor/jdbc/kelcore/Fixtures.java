package kelvor.jdbc.kelcore;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import kelvor.jdbc.Connection;
import kelvor.jdbc.MemoryServices;

/** The example types served through an in-memory Java connection. */
final class Fixtures {
  static final Path EXAMPLES = Path.of(System.getProperty("kelcore.examples", "examples"));

  private Fixtures() {}

  static byte[] read(String file) {
    try {
      return Files.readAllBytes(EXAMPLES.resolve(file));
    } catch (IOException e) {
      throw new IllegalStateException(e);
    }
  }

  static byte[] readIfPresent(String file) {
    return Files.exists(EXAMPLES.resolve(file)) ? read(file) : null;
  }

  /** Serves example `name` as KELCORE.<NAME> (attribute names are not served). */
  static void serve(MemoryServices services, String name) {
    services.addType(sqlName(name), read(name + ".tds"), readIfPresent(name + ".layout"), null);
  }

  /** The numbers example's collection of NUMBER, unbounded (the example holds at most 100). */
  static byte[] unboundedNumbersTds() {
    byte[] tds = read("numbers.tds");
    // The collection entry after opcode 28 at 18: position(4) maxElements(4) kind(1).
    if (tds[18] != 28) {
      throw new IllegalStateException("numbers.tds changed its layout");
    }
    java.util.Arrays.fill(tds, 23, 27, (byte) 0);
    tds[27] = 1;
    return tds;
  }

  static String sqlName(String name) {
    return "KELCORE." + name.toUpperCase();
  }

  static Connection connectionServing(String... names) {
    MemoryServices services = new MemoryServices();
    for (String n : names) {
      serve(services, n);
    }
    return new Connection(services);
  }
}
