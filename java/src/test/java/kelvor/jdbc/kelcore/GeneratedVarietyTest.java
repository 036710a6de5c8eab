package kelvor.jdbc.kelcore;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HexFormat;
import java.util.List;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.DriverException;
import kelvor.jdbc.MemoryServices;
import kelvor.jdbc.TypeInfo;
import org.junit.jupiter.api.Test;

/**
 * Replays the generated variety (kelcore_java_fixtures: every scalar kind, embedded objects,
 * UPTs, collections of scalars, objects and collections) through Java: every image read from
 * Java and written back is byte for byte the image the C++ API wrote, in both layouts and both
 * result styles.
 */
class GeneratedVarietyTest {
  private static final HexFormat HEX = HexFormat.of();

  private static byte[] bytes(String hex) {
    return hex.equals("-") ? null : HEX.parseHex(hex);
  }

  private static String[] rows(String field) {
    List<String> out = new ArrayList<>();
    if (!field.isEmpty()) {
      for (String row : field.split(",")) {
        String text = new String(HEX.parseHex(row), StandardCharsets.UTF_8);
        String[] cells = text.split("\u001f", -1);
        for (String c : cells) {
          out.add(c);
        }
      }
    }
    return out.toArray(new String[0]);
  }

  @Test
  void everyGeneratedImageRoundTripsByteForByte() throws IOException {
    List<String> lines = Files.readAllLines(Path.of(System.getProperty("kelcore.fixtures")));
    MemoryServices services = new MemoryServices();
    int values = 0;
    int platformTrips = 0;
    try (Connection conn = new Connection(services)) {
      for (String line : lines) {
        String[] f = line.split("\t", -1);
        if (f[0].equals("T")) {
          services.addType(f[1], new TypeInfo(bytes(f[2]), Integer.parseInt(f[3]), bytes(f[4]), bytes(f[5]), null),
              rows(f[6]));
          continue;
        }
        boolean collection = f[0].equals("C");
        KelvorTypeADT type = collection
            ? KelvorTypeCOLLECTION.forName(f[1], conn)
            : KelvorTypeADT.forName(f[1], conn);
        byte[] pickled = bytes(f[2]);
        byte[] linear = bytes(f[3]);
        String where = f[1];
        Object value = type.fromImage(pickled, 0, KelvorType.STYLE_SQL_VALUE);
        assertArrayEquals(pickled, type.toImage(value), where + " pickled");
        assertEquals(value, type.fromImage(linear, 0, KelvorType.STYLE_SQL_VALUE), where + " linear");
        // Java's own objects convert back to the same image; the one exception is the platform
        // form of a LOB locator or REF (its bytes), which the descriptors refuse to take back
        // as a value (59), in C++ as in Java.
        Object platform = type.fromImage(pickled, 0, KelvorType.STYLE_PLATFORM_OBJECT);
        try {
          assertArrayEquals(pickled, type.toImage(type.toSqlValue(platform)), where + " platform");
          ++platformTrips;
        } catch (DriverException e) {
          assertEquals(59, e.getErrorCode(), where);
          assertInstanceOf(byte[].class, e.getOffendingValue(), where);
        }
        if (collection) {
          Object[] all = (Object[]) ((ArrayValue) value).getElements();
          KelvorTypeCOLLECTION c = (KelvorTypeCOLLECTION) type;
          for (int begin = 1; begin <= all.length; ++begin) {
            Object[] one = (Object[]) ((ArrayValue) c.fromImage(linear, 0, begin, 1, 1)).getElements();
            assertEquals(all[begin - 1], one[0], where + " element " + begin);
          }
        }
        ++values;
      }
    }
    assertTrue(values >= 80, "the fixtures hold the generated values");
    assertTrue(platformTrips >= values / 2, "platform round trips: " + platformTrips);
  }
}
