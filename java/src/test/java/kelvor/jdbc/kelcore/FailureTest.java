package kelvor.jdbc.kelcore;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.Arrays;
import java.util.Random;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.CharValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.DriverException;
import kelvor.jdbc.MemoryServices;
import kelvor.jdbc.NumberValue;
import kelvor.jdbc.ObjectValue;
import org.junit.jupiter.api.Test;

/** Driver errors arrive with their codes, platform failures as Java's own; nothing crashes. */
class FailureTest {
  @Test
  void aMalformedTdsIsError47() {
    byte[] tds = Fixtures.read("person.tds");
    MemoryServices services = new MemoryServices();
    // The mark before the attribute list is wrong. (A TDS that ends early is an index failure.)
    byte[] broken = tds.clone();
    broken[11] = 0;
    services.addType("KELCORE.BROKEN", broken, null, null);
    try (Connection conn = new Connection(services)) {
      DriverException e = assertThrows(DriverException.class,
          () -> KelvorTypeADT.forName("KELCORE.BROKEN", conn).getNumAttributes());
      assertEquals(47, e.getErrorCode());
    }
  }

  @Test
  void aTruncatedImageIsAnIndexFailure() {
    byte[] image = Tool.encode("person");
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      for (int cut : new int[] {1, 7, 20, image.length - 1}) {
        byte[] shorter = Arrays.copyOf(image, cut);
        assertThrows(IndexOutOfBoundsException.class,
            () -> person.fromImage(shorter, 0, KelvorType.STYLE_SQL_VALUE), "cut at " + cut);
      }
      assertThrows(IndexOutOfBoundsException.class,
          () -> person.fromImage(image, image.length, KelvorType.STYLE_SQL_VALUE));
    }
  }

  @Test
  void tooLongAndTooManyAreErrors72And71WithTheOffendingValue() {
    try (Connection conn = Fixtures.connectionServing("address", "numbers")) {
      KelvorTypeADT address = KelvorTypeADT.forName("KELCORE.ADDRESS", conn);
      // CITY holds 30 characters.
      Object tooLong = address.toSqlValue(new Object[] {"street", "x".repeat(31), null, null});
      DriverException e = assertThrows(DriverException.class, () -> address.toImage(tooLong));
      assertEquals(72, e.getErrorCode());

      KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
      ArrayValue tooMany = new ArrayValue(numbers, new int[101]);  // at most 100 elements
      e = assertThrows(DriverException.class, () -> numbers.toImage(tooMany));
      assertEquals(71, e.getErrorCode());
      assertEquals(ArrayValue.class, e.getOffendingValue().getClass());
    }
  }

  @Test
  void nullArgumentsAreNullPointerExceptions() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      assertThrows(NullPointerException.class, () -> person.toImage(null));
      assertThrows(NullPointerException.class, () -> person.fromImage(null, 0, 1));
      assertThrows(NullPointerException.class, () -> KelvorTypeADT.forName(null, conn));
      assertThrows(NullPointerException.class, () -> KelvorTypeADT.forName("KELCORE.PERSON", null));
      assertThrows(NullPointerException.class, () -> new Connection(null));
      assertThrows(NullPointerException.class, () -> new ObjectValue(person, null));
    }
  }

  @Test
  void malformedPackedAttributesAreRefusedBeforeTheyAreRead() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      byte[][] malformed = {
        {},                                    // no count
        {0, 0, 3, (byte) 0xe8, 0},             // 1000 items in one byte
        {0, 0, 0, 1, 1, 0x7f, -1, -1, -1, 2},  // a length beyond the bytes
        {0, 0, 0, 1, 1, -1, -1, -1, -1},       // a negative length
        {0, 0, 0, 1, 9, 0, 0, 0, 0},           // an unknown kind
        {0, 0, 0, 0, 0},                       // a byte after the items
        {0, 0, 0, 4, 0, 0, 0, 28, 0, 0, 0, 5, 0, 0, 0, 0},  // an object of a type not listed
      };
      for (byte[] wire : malformed) {
        assertThrows(IllegalArgumentException.class, () -> person.toImagePacked0(null, wire, null),
            Arrays.toString(wire));
      }
    }
  }

  @Test
  void wrongValuesAndClosedConnectionsFailCleanly() {
    Connection conn = Fixtures.connectionServing("person", "numbers");
    KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
    KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
    // A value of another type, a malformed number, an unknown type.
    assertThrows(RuntimeException.class, () -> person.toImage(new ArrayValue(numbers, new int[1])));
    DriverException e = assertThrows(DriverException.class,
        () -> new NumberValue(new byte[] {(byte) 0xff, 1, 2}).bigDecimalValue());
    assertEquals(59, e.getErrorCode());
    assertThrows(DriverException.class, () -> KelvorTypeADT.forName("KELCORE.NOTHING", conn).getNumAttributes());
    // A value nested deeper than the library's bound is refused, not followed.
    Object[] deep = new Object[1];
    Object[] at = deep;
    for (int i = 0; i < 200; ++i) {
      Object[] next = new Object[1];
      at[0] = next;
      at = next;
    }
    assertEquals(62, assertThrows(DriverException.class, () -> person.toSqlValue(deep)).getErrorCode());
    conn.close();
    // Types made before the close do not reach the closed services.
    e = assertThrows(DriverException.class, () -> KelvorTypeADT.forName("KELCORE.OTHER", conn));
    assertEquals(1, e.getErrorCode());
    // A character set the library does not know cannot convert.
    assertThrows(DriverException.class, () -> CharValue.of("x", 4242).stringValue());
  }

  @Test
  void servicesSharedByTwoConnectionsKeepTheirDescriptorsApart() {
    MemoryServices services = new MemoryServices();
    Fixtures.serve(services, "person");
    byte[] image = Tool.encode("person");
    KelvorTypeADT first;
    try (Connection a = new Connection(services)) {
      first = KelvorTypeADT.forName("KELCORE.PERSON", a);
      assertEquals(4, first.getNumAttributes());
    }
    // The first connection is closed; its descriptor, still in the shared cache, is not taken.
    try (Connection b = new Connection(services)) {
      KelvorTypeADT second = KelvorTypeADT.forName("KELCORE.PERSON", b);
      assertNotSame(first, second);
      assertArrayEquals(image, second.toImage(second.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE)));
    }
  }

  @Test
  void hostileImagesNeverCrashTheVm() {
    byte[][] seeds = {Tool.encode("person"), Fixtures.read("person.linear")};
    Random random = new Random(17);
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      int refused = 0;
      for (int round = 0; round < 4000; ++round) {
        byte[] image = seeds[round % 2].clone();
        int flips = 1 + random.nextInt(4);
        for (int f = 0; f < flips; ++f) {
          image[random.nextInt(image.length)] = (byte) random.nextInt(256);
        }
        try {
          Object v = person.fromImage(image, 0, 1 + round % 2);
          if (v != null) {
            person.toImage(v);
          }
        } catch (DriverException | IndexOutOfBoundsException | IllegalArgumentException
            | IllegalStateException | ClassCastException | ArithmeticException
            | NegativeArraySizeException | NullPointerException expected) {
          ++refused;
        }
      }
      // Most mutations are refused; the point is that every one returned or threw.
      assertEquals(true, refused > 0);
    }
  }
}
